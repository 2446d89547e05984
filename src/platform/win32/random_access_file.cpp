// random_access_file.cpp (Win32) - CreateFileW and ReadFile at an offset.
#include "platform/random_access_file.h"

#include <windows.h>

#include <new>
#include <string>

namespace qm::platform {

struct RandomAccessFile {
    HANDLE handle;
};

namespace {

bool WidePath(const char *utf8, std::wstring *wide)
{
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (n <= 0)
        return false;
    wide->resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide->data(), n) == n;
}

}  // namespace

RandomAccessFile *OpenRandomAccess(const char *pathUtf8, std::uint64_t *length, int *error)
{
    std::wstring wide;
    if (!WidePath(pathUtf8, &wide)) {
        *error = static_cast<int>(ERROR_INVALID_NAME);
        return nullptr;
    }
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = static_cast<int>(GetLastError());
        return nullptr;
    }
    LARGE_INTEGER size;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
        *error = static_cast<int>(ERROR_INVALID_HANDLE);
        CloseHandle(h);
        return nullptr;
    }
    auto *file = new (std::nothrow) RandomAccessFile{h};
    if (!file) {
        *error = static_cast<int>(ERROR_NOT_ENOUGH_MEMORY);
        CloseHandle(h);
        return nullptr;
    }
    *length = static_cast<std::uint64_t>(size.QuadPart);
    return file;
}

bool IsSameFile(RandomAccessFile *open, const char *path)
{
    if (!open || !path || !*path)
        return false;
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    if (!GetFileInformationByHandle(open->handle, &mine))
        return false;
    // No access asked: only the file's identity is read.
    const HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    const bool got = GetFileInformationByHandle(other, &theirs) != 0;
    CloseHandle(other);
    return got && mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
           mine.nFileIndexHigh == theirs.nFileIndexHigh && mine.nFileIndexLow == theirs.nFileIndexLow;
}

void Close(RandomAccessFile *file)
{
    if (!file)
        return;
    CloseHandle(file->handle);
    delete file;
}

std::int64_t ReadAt(RandomAccessFile *file, std::uint64_t offset, void *buffer, std::size_t count,
                    int *error)
{
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk = count - done < 0x40000000u ? count - done : 0x40000000u;
        OVERLAPPED at{};
        const std::uint64_t where = offset + done;
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD got = 0;
        if (!ReadFile(file->handle, static_cast<char *>(buffer) + done, static_cast<DWORD>(chunk), &got,
                      &at)) {
            const DWORD e = GetLastError();
            if (e == ERROR_HANDLE_EOF)
                break;
            *error = static_cast<int>(e);
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace qm::platform
