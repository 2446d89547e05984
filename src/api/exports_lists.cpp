// exports_lists.cpp - entry lists and archive statistics.
#include "container/lists.h"
#include "default_session/default_session.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL InitArcFileList(ArcFileList *list) { qm::InitArcFileList(list); }

extern "C" QM_API void QM_CALL InitHidFileList(HidFileList *list) { qm::InitHidFileList(list); }

extern "C" QM_API void QM_CALL BuildArcFileList(ArcFileList *list, const FileMaskList *masks)
{
    qm::BuildArcFileList(qm::DefaultSession(), list, masks);
}

extern "C" QM_API int32_t QM_CALL BuildHidFileList(HidFileList *list, const FileMaskList *masks)
{
    return qm::BuildHidFileList(qm::DefaultSession(), list, masks);
}

extern "C" QM_API void QM_CALL DoneArcFileList(ArcFileList *list) { qm::DoneArcFileList(list); }

extern "C" QM_API void QM_CALL DoneHidFileList(HidFileList *list) { qm::DoneHidFileList(list); }

extern "C" QM_API void QM_CALL GetExtraInfoArc(ArcExtraInfo *info) { qm::GetExtraInfoArc(qm::DefaultSession(), info); }
