// exports_extract.cpp - extraction.
#include "default_session/default_session.h"
#include "extract/driver.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL ExtractFileMaskListHid(const FileMaskList *masks)
{
    qm::ExtractFileMaskListHid(qm::DefaultSession(), masks);
}

extern "C" QM_API void QM_CALL ExtractFileMaskListArc(const FileMaskList *masks)
{
    qm::ExportSession &session = qm::DefaultSession();
    session.status = QM_STATUS_OK;
    qm::ExtractFileMaskListHid(session, masks);
}
