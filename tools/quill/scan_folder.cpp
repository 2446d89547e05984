// scan_folder.cpp - ScanFolder over openat and readdir on POSIX, over
// std::filesystem on Windows.
#include "quill/scan_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <exception>
#include <filesystem>
#include <system_error>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quill {

namespace {

void SortByName(std::vector<ScanFolderEntry> &entries)
{
    std::sort(entries.begin(), entries.end(),
              [](const ScanFolderEntry &a, const ScanFolderEntry &b) { return a.name < b.name; });
}

}  // namespace

#ifdef _WIN32

namespace fs = std::filesystem;

ScanFolder::~ScanFolder() = default;

bool ScanFolder::OpenGiven(const std::string &path, std::string *why)
{
    path_ = path;
    std::error_code ec;
    if (!fs::is_directory(fs::status(path, ec))) {
        *why = ec ? ec.message() : "not a folder";
        return false;
    }
    return true;  // Read says when it cannot be read
}

bool ScanFolder::OpenIn(const ScanFolder &parent, const std::string &name, std::string *)
{
    path_ = parent.PathOf(name);
    return true;  // Read says when it cannot be read
}

std::string ScanFolder::PathOf(const std::string &name) const { return (fs::path(path_) / name).string(); }

std::vector<ScanFolderEntry> ScanFolder::Read(std::string *error) const
{
    std::vector<ScanFolderEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(path_, ec);
    if (ec) {
        *error = ec.message();
        return entries;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        ScanFolderEntry entry;
        try {
            entry.name = it->path().filename().string();
        } catch (const std::exception &) {
            // A name the ANSI code page cannot spell.
            entry.kind = ScanFolderEntry::Kind::Unreadable;
            entry.reason = "holds a name this system's code page cannot spell";
            entries.push_back(entry);
            continue;
        }
        // The link's own status: a link is neither followed nor reported.
        std::error_code statusError;
        const fs::file_status status = it->symlink_status(statusError);
        if (statusError) {
            entry.kind = ScanFolderEntry::Kind::Unreadable;
            entry.reason = statusError.message();
        } else if (fs::is_directory(status)) {
            entry.kind = ScanFolderEntry::Kind::Folder;
        } else if (!fs::is_regular_file(status)) {
            continue;
        }
        entries.push_back(std::move(entry));
    }
    if (ec)
        *error = ec.message();
    SortByName(entries);
    return entries;
}

#else

ScanFolder::~ScanFolder()
{
    if (fd_ >= 0)
        close(fd_);
}

bool ScanFolder::OpenGiven(const std::string &path, std::string *why)
{
    path_ = path;
    fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0)
        *why = std::strerror(errno);
    return fd_ >= 0;
}

bool ScanFolder::OpenIn(const ScanFolder &parent, const std::string &name, std::string *why)
{
    path_ = parent.PathOf(name);
    fd_ = openat(parent.fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0)
        *why = errno == ELOOP ? "a link now stands there" : std::strerror(errno);
    return fd_ >= 0;
}

std::string ScanFolder::PathOf(const std::string &name) const
{
    if (!path_.empty() && path_.back() == '/')
        return path_ + name;
    return path_ + "/" + name;
}

std::vector<ScanFolderEntry> ScanFolder::Read(std::string *error) const
{
    std::vector<ScanFolderEntry> entries;
    // The listing gets a descriptor of its own: fd_ stays for openat.
    const int listed = dup(fd_);
    DIR *dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!dir) {
        *error = std::strerror(errno);
        if (listed >= 0)
            close(listed);
        return entries;
    }
    for (;;) {
        errno = 0;
        const dirent *d = readdir(dir);
        if (!d) {
            if (errno != 0)
                *error = std::strerror(errno);
            break;
        }
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0)
            continue;
        ScanFolderEntry entry;
        entry.name = d->d_name;
        unsigned char type = d->d_type;
        if (type == DT_UNKNOWN) {
            // A file system that leaves the kind out: the link's own status.
            struct stat st {};
            if (fstatat(fd_, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                entry.kind = ScanFolderEntry::Kind::Unreadable;
                entry.reason = std::strerror(errno);
                entries.push_back(std::move(entry));
                continue;
            }
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_DIR)
            entry.kind = ScanFolderEntry::Kind::Folder;
        else if (type != DT_REG)
            continue;  // links, pipes, sockets and devices
        entries.push_back(std::move(entry));
    }
    // Deep trees: the listing's descriptor is not kept.
    closedir(dir);
    SortByName(entries);
    return entries;
}

#endif

}  // namespace quill
