// host_path.h - the host's path separator at the library's boundary.
//
// Inside the library every output name separates its levels with
// backslashes, and the directory walk that creates missing levels splits at
// them.  A POSIX host writes its paths with slashes, so on POSIX the two host
// paths that become output names (the output path, and a name the host's
// SetFileNameProc writes) have their slashes turned into backslashes as they
// enter; the platform layer turns them back when it touches the disk.  The
// other host paths need nothing: the carrier path goes straight to the file
// layer, which takes either separator, the relative path acts by its length
// alone, and nothing reads the input path; they stay as the host gave them.
// On Windows a slash is left as the host wrote it.
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
