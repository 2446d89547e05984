// exports_masks.cpp - file mask lists.
#include "quillmark.h"

extern "C" QM_API void QM_CALL InitFileMaskList(FileMaskList *list)
{
    list->first = nullptr;
    list->last = nullptr;
}

extern "C" QM_API uint8_t QM_CALL AppendFileMask(const char *, FileMaskList *) { return 0; }

extern "C" QM_API void QM_CALL DoneFileMaskList(FileMaskList *) {}
