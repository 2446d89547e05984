// file_system.cpp (POSIX) - find-data records from stat, DOS times through
// the C library's local time, attributes as write permission bits.
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/posix/native_name.h"

namespace qm::platform {

struct TimeHandle {
    int fd;
};

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDelta = 11644473600;
constexpr std::int64_t kTicksPerSecond = 10000000;

FileTime ToFileTime(const struct timespec &ts)
{
    const std::uint64_t ticks = static_cast<std::uint64_t>(
        (static_cast<std::int64_t>(ts.tv_sec) + kEpochDelta) * kTicksPerSecond + ts.tv_nsec / 100);
    return FileTime{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

struct timespec ToTimespec(const FileTime &ft)
{
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    struct timespec ts{};
    ts.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond - kEpochDelta);
    ts.tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
    return ts;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The last path component: what follows the last backslash, slash or colon.
const char *LastComponent(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    return name;
}

mode_t CurrentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

bool HasReadOnlyAttribute(const struct stat &st)
{
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

bool FindFileData(const char *path, WIN32_FIND_DATAA *data)
{
    if (!path || !*path)
        return false;
    // The name itself, as FindFirstFileA gives it: a link is not followed.
    const std::string native = NativeName(path);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0)
        return false;

    std::memset(data, 0, sizeof *data);
    std::uint32_t attributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes |= kAttributeReadOnly;
    data->dwFileAttributes = attributes;

    // POSIX keeps no creation time in stat; the last-write time stands in.
    data->ftCreationTime = ToFileTime(st.st_mtim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    const std::uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    data->nFileSizeLow = static_cast<std::uint32_t>(size);
    std::strncpy(data->cFileName, LastComponent(path), sizeof data->cFileName - 1);
    return true;
}

bool DosDateTimeToUtc(std::uint32_t dosDateTime, FileTime *utc)
{
    const unsigned date = dosDateTime >> 16;
    const unsigned time = dosDateTime & 0xFFFF;
    const int year = static_cast<int>(date >> 9) + 1980;
    const int month = static_cast<int>((date >> 5) & 0x0F);
    const int day = static_cast<int>(date & 0x1F);
    const int hour = static_cast<int>(time >> 11);
    const int minute = static_cast<int>((time >> 5) & 0x3F);
    const int second = static_cast<int>(time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;

    struct tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;  // the zone's rule for that date decides
    const time_t seconds = mktime(&fields);
    if (seconds == static_cast<time_t>(-1))
        return false;
    struct timespec ts{};
    ts.tv_sec = seconds;
    *utc = ToFileTime(ts);
    return true;
}

TimeHandle *OpenExistingForTime(const char *path)
{
    if (!path || !*path)
        return nullptr;
    const int fd = open(NativeName(path).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || HasReadOnlyAttribute(st)) {
        close(fd);
        return nullptr;
    }
    return new TimeHandle{fd};
}

bool SetLastWriteTime(TimeHandle *handle, const FileTime &utc)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // last access stays
    times[1] = ToTimespec(utc);
    return futimens(handle->fd, times) == 0;
}

void CloseTimeHandle(TimeHandle *handle)
{
    if (!handle)
        return;
    close(handle->fd);
    delete handle;
}

std::uint32_t SetAttributeWord(const char *path, std::uint32_t attributes)
{
    if (!path || !*path)
        return ENOENT;
    const std::string native = NativeName(path);
    struct stat st;
    if (stat(native.c_str(), &st) != 0)
        return static_cast<std::uint32_t>(errno);
    const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttributeReadOnly)
        mode &= ~writeBits;
    else if ((mode & writeBits) == 0)
        mode |= writeBits & ~CurrentUmask();  // as a newly made file would have them
    if (mode == (st.st_mode & 07777))
        return 0;
    return chmod(native.c_str(), mode) == 0 ? 0 : static_cast<std::uint32_t>(errno);
}

PathKind KindOf(const char *path)
{
    if (!path || !*path)
        return PathKind::None;
    struct stat st;
    if (lstat(NativeName(path).c_str(), &st) != 0)
        return PathKind::None;
    if (S_ISLNK(st.st_mode))
        return PathKind::Link;
    if (S_ISDIR(st.st_mode))
        return PathKind::Directory;
    if (S_ISREG(st.st_mode))
        return HasReadOnlyAttribute(st) ? PathKind::ReadOnlyFile : PathKind::File;
    return PathKind::Other;
}

bool RenameReplacing(const char *from, const char *to)
{
    if (!from || !*from || !to || !*to)
        return false;
    // rename() replaces the name at `to`: a link there is replaced, not followed.
    return std::rename(NativeName(from).c_str(), NativeName(to).c_str()) == 0;
}

bool MakeDirectory(const char *path)
{
    if (!path || !*path)
        return false;
    return mkdir(NativeName(path).c_str(), 0777) == 0;
}

bool RemoveFile(const char *path)
{
    if (!path || !*path)
        return false;
    return std::remove(NativeName(path).c_str()) == 0;
}

}  // namespace qm::platform
