// exports_paths.cpp - the path setters.
#include "quillmark.h"

extern "C" QM_API void QM_CALL SetOutputPath(const char *) {}

extern "C" QM_API void QM_CALL SetInputPath(const char *) {}

extern "C" QM_API void QM_CALL SetRelativePath(const char *) {}

extern "C" QM_API void QM_CALL SetDecompExtraFeatures(const void *) {}
