// random_access_file.h - a file opened by a UTF-8 path for reads at any
// offset, with the system's error number on failure.
//
// The handle API reads archives this way: each read names its offset, so
// no file position is shared, and a path is UTF-8 on every platform (the
// Win32 side converts it to UTF-16).  Anything but a regular file is refused.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::platform {

struct RandomAccessFile;

// Null on failure, with the system's error number in *error.
RandomAccessFile *OpenRandomAccess(const char *pathUtf8, std::uint64_t *length, int *error);
void Close(RandomAccessFile *file);  // accepts null

// True when the path (the library's form: Windows-1252, backslashes) names
// the very file that `open` has open, links followed.
bool IsSameFile(RandomAccessFile *open, const char *path);

// Reads up to count bytes at offset: the count read (less only at the end of
// the file), or -1 with the system's error number in *error.
std::int64_t ReadAt(RandomAccessFile *file, std::uint64_t offset, void *buffer, std::size_t count,
                    int *error);

}  // namespace qm::platform
