// extract_test_support.h - looks at extracted files through the operating
// system itself (stat and chmod, or GetFileTime and GetFileAttributesA), so
// that the library's own platform layer is not its own oracle.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "quillmark.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace qmtest {

// Empties all ten callback slots of the exports' session, user values too,
// as they are when the library is loaded.
inline void EmptyEveryCallbackSlot()
{
    SetSetFileNameProc(0, nullptr);
    SetOkToReplaceProc(0, nullptr);
    SetSetProgressProc(0, nullptr);
    SetSetCryptKeyProc(0, nullptr);
    SetSetHeadCryptKeyProc(0, nullptr);
    SetSetSignalProc(0, nullptr);
    SetSetWarningProc(0, nullptr);
    SetGetNextDiskProc(0, nullptr);
    SetSetSfxProgressProc(0, nullptr);
    SetSkipFileProc(0, nullptr);
}

// A path in the library's form: backslashes.
inline std::string LibPath(const std::filesystem::path &path)
{
    std::string text = path.string();
    for (char &c : text)
        if (c == '/')
            c = '\\';
    return text;
}

// The names in a folder, sorted: what an extraction left there.
inline std::vector<std::string> SortedNames(const std::filesystem::path &folder)
{
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The last-write time in 100-nanosecond ticks since 1601, UTC; -1 on failure.
inline std::int64_t LastWriteTicks(const std::filesystem::path &path)
{
#ifdef _WIN32
    const HANDLE h = CreateFileA(path.string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    FILETIME written;
    const BOOL ok = GetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    if (!ok)
        return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(written.dwHighDateTime) << 32) |
                                     written.dwLowDateTime);
#else
    struct stat st;
    if (stat(path.string().c_str(), &st) != 0)
        return -1;
    return (static_cast<std::int64_t>(st.st_mtim.tv_sec) + 11644473600LL) * 10000000 +
           st.st_mtim.tv_nsec / 100;
#endif
}

// A local calendar time in the same ticks, through the system's own zone rules.
inline std::int64_t LocalTimeTicks(int year, int month, int day, int hour, int minute, int second)
{
#ifdef _WIN32
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) |
                                     utc.dwLowDateTime);
#else
    struct tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return (static_cast<std::int64_t>(mktime(&fields)) + 11644473600LL) * 10000000;
#endif
}

inline bool IsReadOnly(const std::filesystem::path &path)
{
#ifdef _WIN32
    const DWORD a = GetFileAttributesA(path.string().c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
#else
    struct stat st;
    return stat(path.string().c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
#endif
}

inline void MakeReadOnly(const std::filesystem::path &path, bool readOnly)
{
#ifdef _WIN32
    SetFileAttributesA(path.string().c_str(),
                       readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
#else
    chmod(path.string().c_str(), readOnly ? 0444 : 0644);
#endif
}

}  // namespace qmtest
