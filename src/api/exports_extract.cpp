// exports_extract.cpp - extraction.
#include "state/status.h"
#include "extract/driver.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL ExtractFileMaskListHid(const FileMaskList *masks)
{
    qm::ExtractFileMaskListHid(masks);
}

extern "C" QM_API void QM_CALL ExtractFileMaskListArc(const FileMaskList *masks)
{
    qm::ArchiveStatus = QM_STATUS_OK;
    qm::ExtractFileMaskListHid(masks);
}
