// exports_masks.cpp - file mask lists.
#include "default_session/default_session.h"
#include "paths/masks.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL InitFileMaskList(FileMaskList *list) { qm::InitFileMaskList(list); }

extern "C" QM_API uint8_t QM_CALL AppendFileMask(const char *mask, FileMaskList *list)
{
    return qm::AppendFileMask(qm::DefaultSession().status, mask, list) ? 1 : 0;
}

extern "C" QM_API void QM_CALL DoneFileMaskList(FileMaskList *list) { qm::DoneFileMaskList(list); }
