// native_name.h - library names to POSIX file-system names.
//
// Library names are Windows-1252 with backslashes; the file system wants
// UTF-8 with slashes.
#pragma once

#include <string>

namespace qm::platform {

std::string NativeName(const char *name);

}  // namespace qm::platform
