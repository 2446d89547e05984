// file_stream.h (POSIX) - what a File of file.h is on this side: a stdio
// stream over a descriptor.  Shared by the files of this folder only.
#pragma once

#include <cstdio>

namespace qm::platform {

struct File {
    std::FILE *stream;
    char *buffer = nullptr;  // the stream's buffer when the library gave it one
};

}  // namespace qm::platform
