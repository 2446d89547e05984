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
#include <sched.h>
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

FolderDescriptors::~FolderDescriptors() = default;

void FolderDescriptors::MakeTablePrivate() {}

int FolderDescriptors::Of(const ScanFolder &, std::string *) { return 0; }

bool ScanFolder::OpenGiven(const std::string &path, FolderDescriptors &, std::string *why)
{
    path_ = path;
    std::error_code ec;
    if (!fs::is_directory(fs::status(path, ec))) {
        *why = ec ? ec.message() : "not a folder";
        return false;
    }
    return true;  // Read says when it cannot be read
}

bool ScanFolder::OpenIn(std::shared_ptr<const ScanFolder> parent, const std::string &name, FolderDescriptors &,
                        std::string *)
{
    path_ = parent->PathOf(name);
    return true;  // Read says when it cannot be read
}

std::string ScanFolder::PathOf(const std::string &name) const { return (fs::path(path_) / name).string(); }

std::vector<ScanFolderEntry> ScanFolder::Read(FolderDescriptors &, std::string *error) const
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

// Descriptors kept per thread: a folder's runs of files and its subfolders
// mostly go to the thread that is already in it, and a deep tree's parents
// are opened again only when a thread comes back to them.
constexpr std::size_t kFoldersHeld = 8;

// Why a folder of the listing did not open as one.  With O_DIRECTORY a link
// fails as "not a directory", as a file does.
static std::string FolderOpenError(int error)
{
    if (error == ELOOP || error == ENOTDIR)
        return "a link or a file now stands there";
    return std::strerror(error);
}

FolderDescriptors::~FolderDescriptors()
{
    for (const Held &h : held_)
        close(h.fd);
}

// ThreadSanitizer keeps one record per descriptor number for the whole
// process: with private tables it would take one thread's reuse of a number
// another thread closed in its own table for a race.  Under it the tables
// stay shared, which is correct, only slower.
#if defined(__SANITIZE_THREAD__)
#define QUILL_TABLES_STAY_SHARED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUILL_TABLES_STAY_SHARED 1
#endif
#endif

void FolderDescriptors::MakeTablePrivate()
{
#if defined(__linux__) && !defined(QUILL_TABLES_STAY_SHARED)
    unshare(CLONE_FILES);  // refused: the table stays shared, which is correct, only slower
#endif
}

int FolderDescriptors::Of(const ScanFolder &folder, std::string *why)
{
    for (std::size_t i = held_.size(); i-- > 0;) {
        if (held_[i].folder.get() != &folder)
            continue;
        const int fd = held_[i].fd;
        if (i + 1 != held_.size()) {
            Held h = std::move(held_[i]);
            held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
            held_.push_back(std::move(h));
        }
        return fd;
    }
    int fd;
    if (!folder.parent_) {
        fd = open(folder.path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        const int at = Of(*folder.parent_, why);
        if (at < 0)
            return -1;
        fd = openat(at, folder.name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        *why = FolderOpenError(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    if (static_cast<std::uint64_t>(st.st_dev) != folder.device_ || static_cast<std::uint64_t>(st.st_ino) != folder.inode_) {
        *why = "replaced by another folder during the scan";
        close(fd);
        return -1;
    }
    Keep(folder, fd);
    return fd;
}

void FolderDescriptors::Keep(const ScanFolder &folder, int fd)
{
    if (held_.size() == kFoldersHeld) {
        close(held_.front().fd);
        held_.erase(held_.begin());
    }
    held_.push_back({folder.shared_from_this(), fd});
}

bool ScanFolder::OpenGiven(const std::string &path, FolderDescriptors &held, std::string *why)
{
    path_ = path;
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    return Adopt(fd, held, why);
}

bool ScanFolder::OpenIn(std::shared_ptr<const ScanFolder> parent, const std::string &name, FolderDescriptors &held,
                        std::string *why)
{
    path_ = parent->PathOf(name);
    name_ = name;
    parent_ = std::move(parent);
    const int at = held.Of(*parent_, why);
    if (at < 0)
        return false;
    const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *why = FolderOpenError(errno);
        return false;
    }
    return Adopt(fd, held, why);
}

// Records which folder fd is, for the other threads' checks, and leaves fd
// with this thread's descriptors.
bool ScanFolder::Adopt(int fd, FolderDescriptors &held, std::string *why)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        *why = std::strerror(errno);
        close(fd);
        return false;
    }
    device_ = static_cast<std::uint64_t>(st.st_dev);
    inode_ = static_cast<std::uint64_t>(st.st_ino);
    held.Keep(*this, fd);
    return true;
}

std::string ScanFolder::PathOf(const std::string &name) const
{
    if (!path_.empty() && path_.back() == '/')
        return path_ + name;
    return path_ + "/" + name;
}

std::vector<ScanFolderEntry> ScanFolder::Read(FolderDescriptors &held, std::string *error) const
{
    std::vector<ScanFolderEntry> entries;
    const int fd = held.Of(*this, error);
    if (fd < 0)
        return entries;
    // The listing gets a descriptor of its own: fd stays for openat.
    const int listed = dup(fd);
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
            if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
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
