// output_reason.cpp - probing the output's place for the system's reason.
#include "quill/output_reason.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace quill {

namespace fs = std::filesystem;

namespace {

std::string SystemText(int error) { return std::strerror(error); }

// What the system says to a new file in the folder: empty when it takes one.
std::string ProbeNewFile(const fs::path &folder)
{
    const fs::path probe = folder / ".quill-probe";
#ifdef _WIN32
    const int fd = _open(probe.string().c_str(), _O_CREAT | _O_EXCL | _O_WRONLY, _S_IREAD | _S_IWRITE);
#else
    const int fd = open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
#endif
    if (fd < 0)
        return errno == EEXIST ? std::string() : SystemText(errno);
#ifdef _WIN32
    _close(fd);
#else
    close(fd);
#endif
    std::error_code ec;
    fs::remove(probe, ec);
    return {};
}

bool ReadOnly(const fs::path &path)
{
    std::error_code ec;
    const fs::perms p = fs::status(path, ec).permissions();
    return !ec && (p & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) ==
                      fs::perms::none;
}

}  // namespace

std::string WhyCannotCreate(const std::string &path, const std::string &archive)
{
    std::error_code ec;
    const fs::path target(path);
    if (fs::equivalent(target, fs::path(archive), ec))
        return "it is the archive being read";
    const fs::file_status own = fs::symlink_status(target, ec);
    if (fs::is_directory(own))
        return SystemText(EISDIR);
    if (fs::is_regular_file(own) && ReadOnly(target))
        return SystemText(EACCES) + " (the file is read-only)";
    if (fs::exists(own) && !fs::is_regular_file(own) && !fs::is_symlink(own))
        return "it is not a regular file";

    // The folders on the way, from the target's own upwards.
    for (fs::path folder = target.parent_path(); !folder.empty(); folder = folder.parent_path()) {
        const fs::file_status s = fs::symlink_status(folder, ec);
        if (fs::is_symlink(s))
            return "the folder " + folder.string() + " is a link, which is never followed";
        if (fs::exists(s) && !fs::is_directory(s))
            return SystemText(ENOTDIR) + ": " + folder.string();
        if (fs::is_directory(s))
            return ProbeNewFile(folder);
        if (folder == folder.parent_path())
            break;
    }
    return ProbeNewFile(fs::current_path(ec));
}

std::string WhyCannotWrite(const std::string &path, int64_t size)
{
    std::error_code ec;
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty())
        folder = fs::current_path(ec);
    const fs::space_info space = fs::space(folder, ec);
    if (!ec && size >= 0 && space.available < static_cast<std::uintmax_t>(size))
        return SystemText(ENOSPC);
#ifndef _WIN32
    struct rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size >= 0 &&
        limit.rlim_cur < static_cast<rlim_t>(size))
        return SystemText(EFBIG);
#endif
    return {};
}

}  // namespace quill
