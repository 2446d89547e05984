// file_system.cpp (Win32) - KERNEL32 and the C runtime, with the library's
// ANSI names passed as they are.
#include "platform/file_system.h"

#include <direct.h>
#include <windows.h>

#include <cstdio>

namespace qm::platform {

struct TimeHandle {
    HANDLE handle;
};

bool FindFileData(const char *path, WIN32_FIND_DATAA *data)
{
    if (!path || !*path)
        return false;
    const HANDLE search = FindFirstFileA(path, data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

bool DosDateTimeToUtc(std::uint32_t dosDateTime, FileTime *utc)
{
    FILETIME local;
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                               static_cast<WORD>(dosDateTime & 0xFFFF), &local))
        return false;
    return LocalFileTimeToFileTime(&local, utc) != 0;
}

TimeHandle *OpenExistingForTime(const char *path)
{
    if (!path || !*path)
        return nullptr;
    const HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return new TimeHandle{handle};
}

bool SetLastWriteTime(TimeHandle *handle, const FileTime &utc)
{
    return SetFileTime(handle->handle, nullptr, nullptr, &utc) != 0;
}

void CloseTimeHandle(TimeHandle *handle)
{
    if (!handle)
        return;
    CloseHandle(handle->handle);
    delete handle;
}

std::uint32_t SetAttributeWord(const char *path, std::uint32_t attributes)
{
    if (SetFileAttributesA(path, attributes))
        return 0;
    const DWORD error = GetLastError();
    return error ? error : ERROR_INVALID_FUNCTION;
}

PathKind KindOf(const char *path)
{
    if (!path || !*path)
        return PathKind::None;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::None;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return PathKind::Link;  // a symbolic link or a junction
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PathKind::Directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return PathKind::Other;
    // Windows refuses to replace a read-only file; Wine run by a privileged
    // Unix user may not, so the attribute is reported and tested above.
    return (attributes & FILE_ATTRIBUTE_READONLY) ? PathKind::ReadOnlyFile : PathKind::File;
}

bool RenameReplacing(const char *from, const char *to)
{
    if (!from || !*from || !to || !*to)
        return false;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MakeDirectory(const char *path)
{
    if (!path || !*path)
        return false;
    return _mkdir(path) == 0;
}

bool RemoveFile(const char *path)
{
    if (!path || !*path)
        return false;
    return std::remove(path) == 0;
}

}  // namespace qm::platform
