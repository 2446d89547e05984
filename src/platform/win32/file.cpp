// file.cpp (Win32) - buffered binary files through the C runtime, with the
// library's ANSI names passed as they are.
#include "platform/file.h"

#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <fcntl.h>

#include <cstdio>
#include <new>

#include "platform/temp_name.h"

namespace qm::platform {

struct File {
    std::FILE *stream;
    char *buffer = nullptr;  // the stream's buffer when the library gave it one
};

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
    // The C runtime opens a directory on some versions; CreateFile does not.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return nullptr;
    std::FILE *stream = std::fopen(path, "rb");
    if (!stream)
        return nullptr;
    // Only a file on disk: a device name (CON waits for the keyboard) or a
    // pipe would make a read wait or never end.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(stream);
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
    std::FILE *stream = std::fopen(path, "wb");
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
        // CREATE_NEW refuses any existing name, a link included.  Others may
        // read the file while it is written, as on POSIX.
        const HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            return nullptr;  // the folder is missing or takes no new file
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        std::FILE *stream = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
        if (!stream) {
            if (fd >= 0)
                _close(fd);
            else
                CloseHandle(handle);
            DeleteFileA(name.c_str());
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
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    const HANDLE openHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(open->stream)));
    if (!GetFileInformationByHandle(openHandle, &mine))
        return false;
    // No access asked: only the file's identity is read.  Backup semantics
    // lets the call name a folder too.
    const HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    const bool got = GetFileInformationByHandle(other, &theirs) != 0;
    CloseHandle(other);
    return got && mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
           mine.nFileIndexHigh == theirs.nFileIndexHigh && mine.nFileIndexLow == theirs.nFileIndexLow;
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
    return _fseeki64(file->stream, offset, SEEK_SET) == 0;
}

bool Length(File *file, std::int64_t *length)
{
    if (std::fflush(file->stream) != 0)
        return false;
    const __int64 n = _filelengthi64(_fileno(file->stream));
    if (n < 0)
        return false;
    *length = n;
    return true;
}

bool PathExists(const char *path)
{
    if (!path || !*path)
        return false;
    return _access(path, 0) == 0;
}

}  // namespace qm::platform
