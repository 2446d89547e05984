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
//
// An entry's output is written to a temporary file beside its final name and
// renamed over that name only when complete (see file_system.h): whatever
// stood at the final name is untouched until then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::platform {

struct File;

// Null on failure.  A bufferSize other than 0 gives the stream a buffer of
// that size rather than the C library's own (a few kilobytes).
File *OpenForRead(const char *path, std::size_t bufferSize = 0);
File *OpenForWrite(const char *path);  // creates or truncates; null on failure
void Close(File *file);                // accepts null

// Creates a new file for writing in the folder of `beside` (the folder part
// of that path: up to its last backslash or colon), under a fresh name of the
// form ~qmXXXXXXXX.tmp.  The name is created exclusively: an existing file,
// folder or link of that name is never opened, so nothing is written through
// a link.  The name taken goes to *tempPath.  Null when the folder is missing
// or takes no new file.
File *CreateTempBeside(const char *beside, std::string *tempPath);

// True when the path names the very file that `open` has open (the same
// device and inode; the same volume and file ID on Windows), links followed.
bool IsSameFile(File *open, const char *path);

std::size_t Read(File *file, void *buffer, std::size_t count);
std::size_t Write(File *file, const void *buffer, std::size_t count);
bool Flush(File *file);

bool Seek(File *file, std::int64_t offset);  // from the start of the file
bool Length(File *file, std::int64_t *length);

// True when the path names an existing file or directory (existence only).
bool PathExists(const char *path);

}  // namespace qm::platform
