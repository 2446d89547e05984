// exports_session.cpp - opening and closing the archive session.
#include "quillmark.h"

extern "C" QM_API void QM_CALL InitArcFile(const char *path) { (void)path; }

extern "C" QM_API void QM_CALL InitHidFile(const char *path, const ArcOpenParams *params)
{
    (void)path;
    (void)params;
}

extern "C" QM_API void QM_CALL DoneArcFile(uint32_t) {}

extern "C" QM_API void QM_CALL DoneHidFile(uint32_t) {}
