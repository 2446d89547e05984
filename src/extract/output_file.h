// output_file.h - everything an entry's output file meets on disk apart from
// its data: the question before an existing file is replaced, the open that
// makes missing directories one level at a time, and, once the data is
// written and verified, the entry's last-write time and attributes.
//
// Output paths are ANSI strings of at most 255 characters with backslash
// separators.  A path on a network share begins with two backslashes, a
// server, a backslash and a share name; everything up to and including the
// backslash behind the share name is the share prefix, which is never made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/file_system.h"
#include "quillmark.h"

namespace qm {

// Answers of the replace question.
constexpr std::int32_t kReplace = 0;
constexpr std::int32_t kSkipEntry = 1;
constexpr std::int32_t kStopRun = 2;

// The find-data record that describes an entry to the host: its attributes,
// its DOS date/time in UTC in all three time fields (zero when the date/time
// is not a valid one), its unpacked size and its stored name.
WIN32_FIND_DATAA EntryFindData(const HidFileItem &entry);

// 0 (no file at the path, no OkToReplaceProc, or the host's 0) replace;
// 1 skip the entry; 2 stop the run; any other answer passes unchanged.
// An answer of 0 from the host first resets the file's attributes to the
// archive bit alone.
std::int32_t AskReplace(const HidFileItem &entry, const char *outputPath);

// Opens the output file for binary writing, making missing directories.
// ArchiveStatus is 0 with an open file, or 5 and null.
platform::File *OpenOutputFile(const char *outputPath);

// True for a path on a share ("\\srv\pub\x\f.txt": prefix "\\srv\pub\",
// rest "x\f.txt"); otherwise false and the rest is the whole path.
bool SplitUncPath(std::string_view path, std::string &rest, std::string &sharePrefix);

// If the path exists, gives it the archive attribute alone.
void ResetAttributes(const char *path);

// Gives an open file the DOS date/time (local) as its last-write time.
// 0 on success, -1 on failure.
std::int32_t SetFileTimeFromDos(platform::TimeHandle *handle, std::uint32_t dosDateTime);

// 0 on success, else the platform's error code.
std::uint32_t ApplyFileAttributes(const char *path, std::uint32_t attributes);

// Closes the written stream, then gives the file the entry's last-write time
// and, last, its attributes.  False (ArchiveStatus 5) when the file cannot be
// reopened or its time cannot be set; the file stays either way.
bool FinishOutputFile(platform::File *stream, const HidFileItem &entry, const char *outputPath);

}  // namespace qm
