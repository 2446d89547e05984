// file.cpp (POSIX) - buffered binary files over stdio, with names converted
// from the library's Windows-1252 backslash form.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "platform/posix/file_stream.h"
#include "platform/posix/native_name.h"
#include "platform/temp_name.h"

namespace qm::platform {

namespace {

File *Wrap(std::FILE *stream)
{
    if (!stream)
        return nullptr;
    return new File{stream};
}

}  // namespace

File *OpenForRead(const char *path, std::size_t bufferSize)
{
    if (!path || !*path)
        return nullptr;
    // Only a regular file is opened, as on Windows (where a directory cannot
    // be opened as a file).  A FIFO would block the open until some writer
    // came, and a device may never end: both are refused before they are
    // opened, and again after the open (non-blocking, so it cannot hang) in
    // case the name was swapped in between.
    const std::string name = NativeName(path);
    struct stat st;
    if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    std::FILE *stream = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags != -1 &&
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        stream = fdopen(fd, "rb");
    if (!stream) {
        close(fd);
        return nullptr;
    }
    File *file = Wrap(stream);
    // The buffer is ours: the C library may take only the mode from a call
    // without one.  Set before any read, as it must be.
    if (file && bufferSize > 0) {
        file->buffer = new (std::nothrow) char[bufferSize];
        if (file->buffer)
            std::setvbuf(stream, file->buffer, _IOFBF, bufferSize);
    }
    return file;
}

File *OpenForWrite(const char *path)
{
    if (!path || !*path)
        return nullptr;
    std::FILE *stream = std::fopen(NativeName(path).c_str(), "wb");
    // Output comes in large blocks (the stored copy's half mebibyte, the
    // decoder's window flushes); a stream buffer would only split each into
    // two system calls and copy a piece of it on the way.
    if (stream)
        std::setvbuf(stream, nullptr, _IONBF, 0);
    return Wrap(stream);
}

File *CreateTempBeside(const char *beside, std::string *tempPath)
{
    if (!beside || !tempPath)
        return nullptr;
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        std::string name = TempNameBeside(beside, attempt);
        // O_EXCL with O_CREAT refuses any existing name, a link included.
        const int fd = open(NativeName(name.c_str()).c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return nullptr;  // the folder is missing or takes no new file
        }
        std::FILE *stream = fdopen(fd, "wb");
        if (!stream) {
            close(fd);
            unlink(NativeName(name.c_str()).c_str());
            return nullptr;
        }
        std::setvbuf(stream, nullptr, _IONBF, 0);  // as OpenForWrite, for the same reason
        *tempPath = std::move(name);
        return Wrap(stream);
    }
    return nullptr;
}

bool IsSameFile(File *open, const char *path)
{
    if (!open || !path || !*path)
        return false;
    struct stat mine, theirs;
    return fstat(fileno(open->stream), &mine) == 0 && stat(NativeName(path).c_str(), &theirs) == 0 &&
           mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

void Close(File *file)
{
    if (!file)
        return;
    std::fclose(file->stream);
    delete[] file->buffer;
    delete file;
}

std::size_t Read(File *file, void *buffer, std::size_t count)
{
    return count ? std::fread(buffer, 1, count, file->stream) : 0;
}

std::size_t Write(File *file, const void *buffer, std::size_t count)
{
    return count ? std::fwrite(buffer, 1, count, file->stream) : 0;
}

bool Flush(File *file) { return std::fflush(file->stream) == 0; }

bool Seek(File *file, std::int64_t offset)
{
    if (offset < 0)
        return false;
    return fseeko(file->stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool Length(File *file, std::int64_t *length)
{
    struct stat st;
    if (std::fflush(file->stream) != 0 || fstat(fileno(file->stream), &st) != 0)
        return false;
    *length = st.st_size;
    return true;
}

bool PathExists(const char *path)
{
    if (!path || !*path)
        return false;
    return access(NativeName(path).c_str(), F_OK) == 0;
}

}  // namespace qm::platform
