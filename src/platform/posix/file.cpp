// file.cpp (POSIX) - buffered binary files over stdio, with names converted
// from the library's Windows-1252 backslash form.
#include "platform/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/posix/native_name.h"

namespace qm::platform {

struct File {
    std::FILE *stream;
};

namespace {

File *Wrap(std::FILE *stream)
{
    if (!stream)
        return nullptr;
    return new File{stream};
}

}  // namespace

File *OpenForRead(const char *path)
{
    if (!path || !*path)
        return nullptr;
    std::FILE *stream = std::fopen(NativeName(path).c_str(), "rb");
    if (!stream)
        return nullptr;
    // Windows refuses to open a directory as a file; so do we.
    struct stat st;
    if (fstat(fileno(stream), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(stream);
        return nullptr;
    }
    return Wrap(stream);
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

void Close(File *file)
{
    if (!file)
        return;
    std::fclose(file->stream);
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
