// exports_paths.cpp - the path setters.
#include "paths/path_setters.h"
#include "quillmark.h"

extern "C" QM_API void QM_CALL SetOutputPath(const char *path) { qm::SetOutputPath(path); }

extern "C" QM_API void QM_CALL SetInputPath(const char *path) { qm::SetInputPath(path); }

extern "C" QM_API void QM_CALL SetRelativePath(const char *path) { qm::SetRelativePath(path); }

extern "C" QM_API void QM_CALL SetDecompExtraFeatures(const void *block)
{
    qm::SetDecompExtraFeatures(block);
}
