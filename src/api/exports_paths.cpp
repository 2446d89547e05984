// exports_paths.cpp - the path setters.
#include "default_session/default_session.h"
#include "paths/path_setters.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL SetOutputPath(const char *path) { qm::SetOutputPath(qm::DefaultSession().paths, path); }

extern "C" QM_API void QM_CALL SetInputPath(const char *path) { qm::SetInputPath(qm::DefaultSession().paths, path); }

extern "C" QM_API void QM_CALL SetRelativePath(const char *path) { qm::SetRelativePath(qm::DefaultSession().paths, path); }

extern "C" QM_API void QM_CALL SetDecompExtraFeatures(const void *block)
{
    qm::SetDecompExtraFeatures(qm::DefaultSession().paths, block);
}
