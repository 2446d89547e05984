// file_system.h - directories, find-data records, file times and attributes.
//
// What the output side of an extraction needs beyond reading and writing
// streams: look up an existing file's find-data record, make one directory,
// delete a file, give a finished file its last-write time and set its Windows
// attribute word.  Names are the library's Windows-1252 strings with
// backslashes, as in file.h.
//
// Times are Windows FILETIMEs: 100-nanosecond ticks since 1 January 1601,
// UTC.  A DOS date/time packs the DOS date into its high 16 bits (day in bits
// 0-4, month in 5-8, years since 1980 in 9-15) and the DOS time into its low
// 16 bits (seconds / 2 in bits 0-4, minutes in 5-10, hours in 11-15), and is
// local time.
//
// The POSIX side maps the one attribute bit with a meaning there, read-only
// (0x01), to the write permission bits, and keeps the Windows rule that a
// read-only file cannot be opened for writing, even by a privileged user.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "quillmark.h"

namespace qm::platform {

#ifdef _WIN32
using FileTime = FILETIME;
#else
using FileTime = QmFileTime;
#endif

constexpr std::uint32_t kAttributeReadOnly = 0x01;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

// Fills the find-data record of an existing file, directory or link (the
// link itself); false when the path names nothing.  cFileName gets the last component of the path.
bool FindFileData(const char *path, WIN32_FIND_DATAA *data);

// The DOS date/time, taken as local time, as a UTC FILETIME.  False when the
// fields do not form a valid date and time (month 0, 30 February, 25 hours,
// 60 seconds, ...).
bool DosDateTimeToUtc(std::uint32_t dosDateTime, FileTime *utc);

// An existing file opened for writing without truncating it, only to set its
// times.  Null when the file does not exist, is read-only or cannot be opened.
struct TimeHandle;
TimeHandle *OpenExistingForTime(const char *path);
// Sets the last-write time; the creation and last-access times stay.
bool SetLastWriteTime(TimeHandle *handle, const FileTime &utc);
void CloseTimeHandle(TimeHandle *handle);  // accepts null

// Sets the Windows attribute word; 0 on success, else the platform's error
// code.
std::uint32_t SetAttributeWord(const char *path, std::uint32_t attributes);

// What a name is, the name itself looked at: a link is reported as a link
// whatever it points to (on Windows, any reparse point: a symbolic link or a
// junction).
enum class PathKind { None, File, ReadOnlyFile, Directory, Link, Other };
PathKind KindOf(const char *path);

// Renames `from` to `to`, replacing a file or a link at `to` (the link itself,
// never what it points to).  False when it cannot (`to` is a folder, or is on
// another volume).
bool RenameReplacing(const char *from, const char *to);

// Makes one directory (its parent must exist).
bool MakeDirectory(const char *path);

// Deletes a file.
bool RemoveFile(const char *path);

}  // namespace qm::platform
