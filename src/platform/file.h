// file.h - the thin file layer under the library.
//
// The library's 8-bit strings are Windows-1252 with backslash separators on
// every platform.  The Win32 side hands them to the C runtime and KERNEL32 as
// they are; the POSIX side turns backslashes into slashes and converts the
// name from Windows-1252 to UTF-8 where it touches the file system.
//
// A File is a binary stream, buffered when opened for reading; files opened
// for writing are unbuffered, since the writer hands them large blocks.  Opening for reading refuses anything
// that is not a regular file (a directory, for one), as Windows does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::platform {

struct File;

File *OpenForRead(const char *path);   // null on failure
File *OpenForWrite(const char *path);  // creates or truncates; null on failure
void Close(File *file);                // accepts null

std::size_t Read(File *file, void *buffer, std::size_t count);
std::size_t Write(File *file, const void *buffer, std::size_t count);
bool Flush(File *file);

bool Seek(File *file, std::int64_t offset);  // from the start of the file
bool Length(File *file, std::int64_t *length);

// True when the path names an existing file or directory (existence only).
bool PathExists(const char *path);

}  // namespace qm::platform
