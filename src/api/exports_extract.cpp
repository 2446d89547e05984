// exports_extract.cpp - extraction.
#include "api/status.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL ExtractFileMaskListHid(const FileMaskList *) { qm::ArchiveStatus = QM_STATUS_OK; }

extern "C" QM_API void QM_CALL ExtractFileMaskListArc(const FileMaskList *masks)
{
    qm::ArchiveStatus = QM_STATUS_OK;
    ExtractFileMaskListHid(masks);
}
