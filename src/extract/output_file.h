// output_file.h - everything an entry's output file meets on disk apart from
// its data: the question before an existing file is replaced, the open that
// makes missing directories one level at a time, and, once the data is
// written and verified, the entry's last-write time and attributes.
//
// An entry is never written under its final name.  Its data goes to a new,
// exclusively created temporary file in the same folder (~qmXXXXXXXX.tmp),
// which gets the entry's time and is renamed over the final name only once it
// is complete and its CRC matched; any failure removes it, and whatever stood
// at the final name is left as it was.  The rename replaces a link at the
// final name rather than writing through it.  The host sees only final names.
//
// Before anything is written the final name is checked: it must not be a
// folder, a device or a read-only file, nor the carrier file being read; and
// no folder level of it below the output folder may be a link (or a
// junction), which could lead the write elsewhere.  The output folder the
// host set may itself hold links.
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
#include "state/callbacks.h"
#include "state/status.h"

namespace qm {

struct CarrierSession;

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
std::int32_t AskReplace(const CallbackRegistry &callbacks, const HidFileItem &entry, const char *outputPath);

// An entry's output while it is written: the temporary file beside the
// final name.
struct PendingOutput {
    platform::File *stream = nullptr;
    std::string tempPath;  // empty once renamed or removed
};

// Checks the final name and creates the temporary file beside it, making
// missing directories, below the session's output path and never over its
// carrier.  True with status 0 and the stream open, or false with status 5
// and nothing created but directories.
bool OpenOutputFile(CarrierSession &session, const char *outputPath, PendingOutput *out);

// Where an output may go: below outputFolder (empty, or ending in a
// separator), never over the file isCarrier recognises (null: no carrier
// file).  The form above takes them from the session.
struct OutputPlace {
    std::string_view outputFolder;
    bool (*isCarrier)(void *context, const char *path);
    void *context;
};

// The same checks and creation; sets no status.
bool OpenOutputFile(const char *outputPath, const OutputPlace &place, PendingOutput *out);

// Closes and removes the temporary file; the final name is untouched.
void DiscardOutputFile(PendingOutput *out);

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

// Closes the written stream, gives the temporary file the entry's last-write
// time, renames it over the final name and, last, gives it the entry's
// attributes.  False (status 5) when the time cannot be set (the file
// is renamed into place all the same, with its complete content, but gets no
// attributes) or when the rename fails (the temporary file is removed and the
// final name untouched).
bool FinishOutputFile(StatusWord &status, PendingOutput *out, const HidFileItem &entry,
                      const char *outputPath);

// The same with the entry's time and attributes; sets no status.
enum class FinishResult { kDone, kNoTime, kNotRenamed };
FinishResult FinishOutputFile(PendingOutput *out, std::uint32_t dosDateTime, std::uint32_t attributes,
                              const char *outputPath);

}  // namespace qm
