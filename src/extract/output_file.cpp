// output_file.cpp - the replace question, the temporary output file with its
// directory walk, and the finishing touches: time, rename, attributes.
//
// The temporary file is first tried in the final name's folder.  Only when
// that fails does the walk take the path apart, one backslash at a time from
// the left, and after each directory level that exists or has just been made
// the creation is tried again; the walk ends as soon as it succeeds.  A drive
// ("C:") or a root is never made, nor the share of a network path.  When the
// creation fails for another reason (access denied) every level exists, the
// walk runs out of backslashes and the result is status 5.
#include "extract/output_file.h"

#include <cstring>

#include "container/session.h"
#include "extract/directory_walk.h"

namespace qm {

namespace {

constexpr std::size_t kMaxPath = 255;

// The path as the library holds it: at most 255 characters.
std::string_view BoundedPath(const char *path) { return {path, strnlen(path, kMaxPath)}; }

// True for a path that names a drive or a folder rather than a file in one.
bool EndsInSeparator(std::string_view path)
{
    return path.empty() || path.back() == '\\' || path.back() == ':';
}

// True when a folder level of the path below the output folder is a link.
// A path the host's SetFileNameProc sent outside the output folder is the
// host's own, and so are the output folder's levels; with no output folder
// set, the levels of a relative path (below the current folder) count.
bool LinkBelowOutputFolder(std::string_view path, std::string_view base)
{
    if (path.substr(0, base.size()) != base)
        return false;
    if (base.empty() && (path.front() == '\\' || path.find(':') != std::string_view::npos))
        return false;
    for (std::size_t i = base.size(); (i = path.find('\\', i)) != std::string_view::npos; ++i) {
        // An empty component ("a\\b") repeats the level before it; a level
        // ending in a separator would be looked up through a link.
        if (i == 0 || path[i - 1] == '\\' || path[i - 1] == ':')
            continue;
        const std::string level(path.substr(0, i));
        if (platform::KindOf(level.c_str()) == platform::PathKind::Link)
            return true;
    }
    return false;
}

// Whether an output may go to the final name at all.
bool MayWriteTo(const std::string &path, const OutputPlace &place)
{
    if (EndsInSeparator(path))
        return false;
    switch (platform::KindOf(path.c_str())) {
    case platform::PathKind::Directory:
    case platform::PathKind::Other:
    case platform::PathKind::ReadOnlyFile:
        return false;
    case platform::PathKind::None:
    case platform::PathKind::File:
    case platform::PathKind::Link:  // replaced by the rename, never followed
        break;
    }
    if (LinkBelowOutputFolder(path, place.outputFolder))
        return false;
    // The carrier being read: replacing it would pull the archive away
    // from under the run.
    return !(place.isCarrier && place.isCarrier(place.context, path.c_str()));
}

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

std::int32_t AskReplace(const CallbackRegistry &callbacks, const HidFileItem &entry, const char *outputPath)
{
    WIN32_FIND_DATAA existing;
    if (!platform::FindFileData(outputPath, &existing))
        return kReplace;
    const auto &slot = callbacks.okToReplace;
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

bool OpenOutputFile(CarrierSession &session, const char *outputPath, PendingOutput *out)
{
    const PathSettings &paths = session.paths;
    const OutputPlace place{{paths.output, strnlen(paths.output, kOutputPathSize)},
                            [](void *context, const char *path) {
                                return platform::IsSameFile(static_cast<CarrierSession *>(context)->carrier, path);
                            },
                            &session};
    session.status = QM_STATUS_CANNOT_OPEN;
    if (!OpenOutputFile(outputPath, place, out))
        return false;
    session.status = QM_STATUS_OK;
    return true;
}

bool OpenOutputFile(const char *outputPath, const OutputPlace &place, PendingOutput *out)
{
    out->stream = nullptr;
    out->tempPath.clear();
    const std::string path(BoundedPath(outputPath));
    if (!MayWriteTo(path, place))
        return false;
    DirectoryWalk walk(path);
    std::string directory;
    for (;;) {
        out->stream = platform::CreateTempBeside(path.c_str(), &out->tempPath);
        if (out->stream)
            return true;
        if (!walk.Next(directory))
            return false;  // every level exists: the folder takes no new file
        if (platform::PathExists(directory.c_str()))
            continue;
        if (!platform::MakeDirectory(directory.c_str()))
            return false;
    }
}

void DiscardOutputFile(PendingOutput *out)
{
    platform::Close(out->stream);
    out->stream = nullptr;
    if (!out->tempPath.empty())
        platform::RemoveFile(out->tempPath.c_str());
    out->tempPath.clear();
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

bool FinishOutputFile(StatusWord &status, PendingOutput *out, const HidFileItem &entry, const char *outputPath)
{
    if (FinishOutputFile(out, entry.dosDateTime, entry.attributes, outputPath) == FinishResult::kDone)
        return true;
    status = QM_STATUS_CANNOT_OPEN;
    return false;
}

FinishResult FinishOutputFile(PendingOutput *out, std::uint32_t dosDateTime, std::uint32_t attributes,
                              const char *outputPath)
{
    platform::Close(out->stream);
    out->stream = nullptr;
    bool timed = false;
    if (platform::TimeHandle *handle = platform::OpenExistingForTime(out->tempPath.c_str())) {
        timed = SetFileTimeFromDos(handle, dosDateTime) == 0;
        platform::CloseTimeHandle(handle);
    }
    // The content is complete and verified: it takes the final name even
    // when its time could not be set.
    if (!platform::RenameReplacing(out->tempPath.c_str(), outputPath)) {
        DiscardOutputFile(out);
        return FinishResult::kNotRenamed;
    }
    out->tempPath.clear();
    if (!timed)
        return FinishResult::kNoTime;
    // Last, after the rename: a read-only bit must stop neither the time nor
    // the rename.
    ApplyFileAttributes(outputPath, attributes);
    return FinishResult::kDone;
}

}  // namespace qm
