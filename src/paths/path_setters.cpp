// path_setters.cpp - the path settings' setters (see path_setters.h).
#include "paths/path_setters.h"

#include <algorithm>
#include <cstring>

#include "state/path_settings.h"
#include "paths/host_path.h"
#include "paths/path_strings.h"
#include "paths/text_bounds.h"
#include "quillmark.h"

namespace qm {

void SetOutputPath(PathSettings &paths, const char *path)
{
    if (path == nullptr) path = "";
    const std::size_t length = BoundedLength(path, kOutputPathSize);
    const bool addsBackslash = length > 0 && !IsHostSeparator(path[length - 1]) && path[length - 1] != ':';
    if (length + (addsBackslash ? 1 : 0) > kOutputPathSize - 1) {
        paths.output[0] = '\0';
        paths.outputRefused = true;
        return;
    }
    std::memcpy(paths.output, path, length);
    paths.output[length] = '\0';
    HostSeparatorsToBackslashes(paths.output);
    AppendBackslash(paths.output, paths.output);
    paths.outputRefused = false;
}

void SetInputPath(PathSettings &paths, const char *path)
{
    if (path == nullptr) path = "";
    const std::size_t length = BoundedLength(path, kInputPathSize);
    const bool addsBackslash = length > 3;
    const std::size_t kept = std::min(length, kInputPathSize - 1 - (addsBackslash ? 1 : 0));
    std::memcpy(paths.input, path, kept);
    if (addsBackslash) paths.input[kept] = '\\';
    paths.input[kept + (addsBackslash ? 1 : 0)] = '\0';
}

void SetRelativePath(PathSettings &paths, const char *path)
{
    if (path == nullptr) path = "";
    const std::size_t kept = BoundedLength(path, kRelativePathSize - 1);
    std::memcpy(paths.relative, path, kept);
    paths.relative[kept] = '\0';
}

void SetDecompExtraFeatures(PathSettings &paths, const void *block)
{
    if (block == nullptr) return;
    const char *bytes = static_cast<const char *>(block);
    const char *output = bytes + QM_DECOMP_OUTPUT_PATH_OFFSET;
    const char *relative = bytes + QM_DECOMP_RELATIVE_PATH_OFFSET;
    if (output[0] != '\0') SetOutputPath(paths, output);
    if (relative[0] != '\0') SetRelativePath(paths, relative);
}

}  // namespace qm
