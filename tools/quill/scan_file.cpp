// scan_file.cpp - ScanFile with pread on POSIX and a std::FILE on Windows
// (one thread owns each file, so seek-then-read is safe there).
#include "quill/scan_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <cstdio>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quill {

#ifdef _WIN32

ScanFile::~ScanFile()
{
    if (file_)
        std::fclose(static_cast<std::FILE *>(file_));
}

bool ScanFile::Open(const std::string &path, bool, std::string *why)
{
    // Paths are in the ANSI code page, as argv and the walk give them; the
    // walk never hands over a link found below a folder.
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *why = std::strerror(errno);
        return false;
    }
    file_ = f;
    if (_fseeki64(f, 0, SEEK_END) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    length_ = static_cast<std::uint64_t>(_ftelli64(f));
    return true;
}

bool ScanFile::OpenIn(const ScanFolder &folder, FolderDescriptors &, const std::string &name, std::string *why)
{
    return Open(folder.PathOf(name), false, why);
}

std::int64_t ScanFile::ReadAt(std::uint64_t offset, void *buffer, std::size_t size)
{
    auto *f = static_cast<std::FILE *>(file_);
    if (_fseeki64(f, static_cast<long long>(offset), SEEK_SET) != 0) {
        lastError_ = errno;
        return -1;
    }
    const std::size_t got = std::fread(buffer, 1, size, f);
    if (got < size && std::ferror(f)) {
        lastError_ = errno;
        return -1;
    }
    return static_cast<std::int64_t>(got);
}

#else

ScanFile::~ScanFile()
{
    if (fd_ >= 0)
        close(fd_);
}

bool ScanFile::Open(const std::string &path, bool followLink, std::string *why)
{
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW);
    fd_ = open(path.c_str(), flags);
    return Opened(why);
}

bool ScanFile::OpenIn(const ScanFolder &folder, FolderDescriptors &held, const std::string &name, std::string *why)
{
    const int at = held.Of(folder, why);
    if (at < 0)
        return false;
    fd_ = openat(at, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    return Opened(why);
}

bool ScanFile::Opened(std::string *why)
{
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0) {
        *why = errno == ELOOP ? "a link now stands there" : std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = "not a regular file";
        return false;
    }
    length_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

std::int64_t ScanFile::ReadAt(std::uint64_t offset, void *buffer, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = pread(fd_, static_cast<char *>(buffer) + got, size - got,
                                static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            lastError_ = errno;
            return -1;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
}

#endif

std::string ScanFile::LastError() const { return lastError_ ? std::strerror(lastError_) : "unknown error"; }

}  // namespace quill
