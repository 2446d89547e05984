// host_path.h - the host's path separator at the library's boundary.
//
// Inside the library every path separates its levels with backslashes: the
// output names, the directory walk that creates missing levels, the carrier
// path.  A POSIX host writes its paths with slashes, so on POSIX the paths a
// host hands in (carrier, output, input and relative paths, and a name its
// SetFileNameProc writes) have their slashes turned into backslashes as they
// enter; the platform layer turns them back when it touches the disk.  On
// Windows a slash is left as the host wrote it.
#pragma once

namespace qm {

// True for a character that separates path levels in a host path.
inline bool IsHostSeparator(char c)
{
#ifdef _WIN32
    return c == '\\';
#else
    return c == '\\' || c == '/';
#endif
}

// Turns the host's separators in text into backslashes, in place.
inline void HostSeparatorsToBackslashes(char *text)
{
#ifndef _WIN32
    for (; *text; ++text)
        if (*text == '/') *text = '\\';
#else
    (void)text;
#endif
}

}  // namespace qm
