// codepage.h - between the terminal's strings and the library's.
//
// The library takes and gives Windows-1252 strings with backslashes on every
// platform.  On POSIX systems the command line and the terminal speak UTF-8,
// so names are converted on the way in and out; on Windows the command line
// already arrives in the ANSI code page and passes unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quill {

// A command-line string as the library wants it; nothing when a character
// has no Windows-1252 form (or the UTF-8 is malformed).
std::optional<std::string> ToLibraryText(const std::string &text);

// The same, for a path: slashes also become backslashes.
std::optional<std::string> ToLibraryPath(const std::string &path);

// A library string in UTF-8, on every platform (JSON output, the handle API).
std::string Utf8FromLibraryText(std::string_view text);

// UTF-8 (a name from the handle API) as a library string, on every
// platform; a character without a Windows-1252 form becomes '?'.
std::string LibraryTextFromUtf8(std::string_view text);

// A library path in UTF-8 as the handle API opens it: on POSIX systems with
// slashes again.
std::string Utf8FromLibraryPath(std::string_view path);

// A library string for the terminal.
std::string FromLibraryText(std::string_view text);

// A library path for the terminal: on POSIX systems with slashes again.
std::string FromLibraryPath(std::string_view path);

}  // namespace quill
