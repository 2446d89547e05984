// exports_lists.cpp - entry lists and archive statistics.
#include "quillmark.h"

extern "C" QM_API void QM_CALL InitArcFileList(ArcFileList *list)
{
    list->count = 0;
    list->first = nullptr;
    list->last = nullptr;
}

extern "C" QM_API void QM_CALL InitHidFileList(HidFileList *list)
{
    list->count = 0;
    list->first = nullptr;
    list->last = nullptr;
}

extern "C" QM_API void QM_CALL BuildArcFileList(ArcFileList *, const FileMaskList *) {}

extern "C" QM_API int32_t QM_CALL BuildHidFileList(HidFileList *, const FileMaskList *) { return 0; }

extern "C" QM_API void QM_CALL DoneArcFileList(ArcFileList *) {}

extern "C" QM_API void QM_CALL DoneHidFileList(HidFileList *) {}

extern "C" QM_API void QM_CALL GetExtraInfoArc(ArcExtraInfo *) {}
