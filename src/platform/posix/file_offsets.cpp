// file_offsets.cpp (POSIX) - pread and pwrite on the descriptors under the
// streams, which keep their own positions.
#include "platform/file_offsets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/file_stream.h"

namespace qm::platform {

namespace {

bool IsRegular(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool OffsetsPossible(File *from, File *to)
{
    if (!from || !to)
        return false;
    const int out = fileno(to->stream);
    const int flags = fcntl(out, F_GETFL);
    return IsRegular(fileno(from->stream)) && IsRegular(out) && flags != -1 &&
           (flags & O_ACCMODE) != O_RDONLY && (flags & O_APPEND) == 0;
}

std::int64_t Tell(File *file) { return file ? static_cast<std::int64_t>(ftello(file->stream)) : -1; }

std::int64_t SizeOf(File *file)
{
    struct stat st;
    if (!file || fstat(fileno(file->stream), &st) != 0)
        return -1;
    return st.st_size;
}

std::int64_t ReadAt(File *file, std::int64_t offset, void *buffer, std::size_t count)
{
    auto *at = static_cast<unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            pread(fileno(file->stream), at + done, count - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t WriteAt(File *file, std::int64_t offset, const void *buffer, std::size_t count)
{
    const auto *at = static_cast<const unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pwrite(fileno(file->stream), at + done, count - done,
                                 static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done > 0 || count == 0 ? static_cast<std::int64_t>(done) : -1;
}

void Preallocate(File *file, std::int64_t offset, std::int64_t count)
{
#ifdef __linux__
    // Not posix_fallocate: where the file system cannot reserve, the C
    // library would write zeros over the whole range instead.
    fallocate(fileno(file->stream), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(count));
#else
    (void)file, (void)offset, (void)count;
#endif
}

}  // namespace qm::platform
