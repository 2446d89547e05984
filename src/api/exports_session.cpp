// exports_session.cpp - opening and closing the archive session.
#include "container/session.h"
#include "default_session/default_session.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL InitArcFile(const char *path) { qm::InitArcFile(qm::DefaultSession(), path); }

extern "C" QM_API void QM_CALL InitHidFile(const char *path, const ArcOpenParams *params)
{
    qm::InitHidFile(qm::DefaultSession(), path, params);
}

extern "C" QM_API void QM_CALL DoneArcFile(uint32_t) { qm::DoneHidFile(qm::DefaultSession()); }

extern "C" QM_API void QM_CALL DoneHidFile(uint32_t) { qm::DoneHidFile(qm::DefaultSession()); }
