// random_access_file.cpp (POSIX) - pread on a descriptor.
#include "platform/random_access_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/posix/native_name.h"

namespace qm::platform {

struct RandomAccessFile {
    int fd;
};

RandomAccessFile *OpenRandomAccess(const char *pathUtf8, std::uint64_t *length, int *error)
{
    const int fd = ::open(pathUtf8, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = errno;
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return nullptr;
    }
    auto *file = new (std::nothrow) RandomAccessFile{fd};
    if (!file) {
        *error = ENOMEM;
        ::close(fd);
        return nullptr;
    }
    *length = static_cast<std::uint64_t>(st.st_size);
    return file;
}

bool IsSameFile(RandomAccessFile *open, const char *path)
{
    if (!open || !path || !*path)
        return false;
    struct stat mine, theirs;
    return ::fstat(open->fd, &mine) == 0 && ::stat(NativeName(path).c_str(), &theirs) == 0 &&
           mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

void Close(RandomAccessFile *file)
{
    if (!file)
        return;
    ::close(file->fd);
    delete file;
}

std::int64_t ReadAt(RandomAccessFile *file, std::uint64_t offset, void *buffer, std::size_t count,
                    int *error)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(file->fd, static_cast<char *>(buffer) + done, count - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace qm::platform
