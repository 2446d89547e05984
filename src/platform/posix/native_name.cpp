// native_name.cpp (POSIX) - library names (Windows-1252, backslashes) as
// file-system names (UTF-8, slashes).
#include "platform/posix/native_name.h"

#include "platform/windows_1252.h"

namespace qm::platform {

std::string NativeName(const char *name)
{
    std::string slashes(name);
    for (char &c : slashes)
        if (c == '\\')
            c = '/';
    return Utf8From1252(slashes, UnassignedBytes::SameControl);
}

}  // namespace qm::platform
