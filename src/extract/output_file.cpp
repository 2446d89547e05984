// output_file.cpp - the replace question, the output file's open with its
// directory walk, and the finishing touches of time and attributes.
//
// The open is tried first on the full path.  Only when it fails does the walk
// take the path apart, one backslash at a time from the left, and after each
// directory level that exists or has just been made the open is tried again;
// the walk ends as soon as the open succeeds.  A drive ("C:") or a root is
// never made, nor the share of a network path.  When the open fails for
// another reason (a read-only file, access denied) every level exists, the
// walk runs out of backslashes and the result is status 5.
#include "extract/output_file.h"

#include <cstring>

#include "state/callbacks.h"
#include "state/status.h"
#include "extract/directory_walk.h"

namespace qm {

namespace {

constexpr std::size_t kMaxPath = 255;

// The path as the library holds it: at most 255 characters.
std::string_view BoundedPath(const char *path) { return {path, strnlen(path, kMaxPath)}; }

}  // namespace

WIN32_FIND_DATAA EntryFindData(const HidFileItem &entry)
{
    WIN32_FIND_DATAA record;
    std::memset(&record, 0, sizeof record);
    record.dwFileAttributes = entry.attributes;
    platform::FileTime utc{};
    if (platform::DosDateTimeToUtc(entry.dosDateTime, &utc)) {
        record.ftCreationTime = utc;
        record.ftLastAccessTime = utc;
        record.ftLastWriteTime = utc;
    }
    record.nFileSizeHigh = 0;
    record.nFileSizeLow = static_cast<std::uint32_t>(entry.unpackedSize);
    std::memcpy(record.cFileName, entry.name, strnlen(entry.name, sizeof entry.name - 1));
    return record;
}

std::int32_t AskReplace(const HidFileItem &entry, const char *outputPath)
{
    WIN32_FIND_DATAA existing;
    if (!platform::FindFileData(outputPath, &existing))
        return kReplace;
    const auto &slot = Callbacks.okToReplace;
    if (!slot.proc)
        return kReplace;  // overwritten without a question and without a reset

    WIN32_FIND_DATAA record = EntryFindData(entry);
    const std::int32_t answer = slot.proc(slot.user, &existing, &record);
    if (answer == kReplace)
        ResetAttributes(outputPath);
    return answer;
}

bool SplitUncPath(std::string_view path, std::string &rest, std::string &sharePrefix)
{
    sharePrefix.clear();
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') {
        rest.assign(path);
        return false;
    }
    // Stop at the second backslash from index 2 on (the one behind the share
    // name), or at the end of the path when there is only one.
    int seen = 0;
    std::size_t i = 2;
    for (; i < path.size(); ++i)
        if (path[i] == '\\' && ++seen == 2)
            break;
    if (seen == 0) {
        rest.assign(path);
        return false;
    }
    if (i < path.size()) {
        sharePrefix.assign(path.substr(0, i + 1));
        rest.assign(path.substr(i + 1));
    } else {
        sharePrefix.assign(path);
        rest.clear();
    }
    return true;
}

platform::File *OpenOutputFile(const char *outputPath)
{
    const std::string path(BoundedPath(outputPath));
    DirectoryWalk walk(path);
    std::string directory;
    for (;;) {
        if (platform::File *file = platform::OpenOutputForWrite(path.c_str())) {
            ArchiveStatus = QM_STATUS_OK;
            return file;
        }
        ArchiveStatus = QM_STATUS_CANNOT_OPEN;
        if (!walk.Next(directory))
            return nullptr;  // every level exists: the file itself cannot be opened
        if (platform::PathExists(directory.c_str()))
            continue;
        if (!platform::MakeDirectory(directory.c_str()))
            return nullptr;
    }
}

void ResetAttributes(const char *path)
{
    if (platform::PathExists(path))
        ApplyFileAttributes(path, platform::kAttributeArchive);
}

std::int32_t SetFileTimeFromDos(platform::TimeHandle *handle, std::uint32_t dosDateTime)
{
    platform::FileTime utc{};
    if (!platform::DosDateTimeToUtc(dosDateTime, &utc))
        return -1;
    return platform::SetLastWriteTime(handle, utc) ? 0 : -1;
}

std::uint32_t ApplyFileAttributes(const char *path, std::uint32_t attributes)
{
    return platform::SetAttributeWord(path, attributes);
}

bool FinishOutputFile(platform::File *stream, const HidFileItem &entry, const char *outputPath)
{
    platform::Close(stream);
    platform::TimeHandle *handle = platform::OpenExistingForTime(outputPath);
    if (!handle) {
        ArchiveStatus = QM_STATUS_CANNOT_OPEN;
        return false;
    }
    if (SetFileTimeFromDos(handle, entry.dosDateTime) != 0) {
        platform::CloseTimeHandle(handle);
        ArchiveStatus = QM_STATUS_CANNOT_OPEN;
        return false;
    }
    platform::CloseTimeHandle(handle);
    // Last, after the handle is closed: a read-only bit must not stop the time.
    ApplyFileAttributes(outputPath, entry.attributes);
    return true;
}

}  // namespace qm
