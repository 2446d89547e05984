// command_line.h - what the user asked quill to do.
//
//   quill l ARCHIVE [-p PASSWORD] [MASK...]
//   quill x ARCHIVE [-o DIR] [-k] [-p PASSWORD] [-y] [MASK...]
//
// Options may stand anywhere after the command letter; "--" ends them, so a
// mask may begin with a dash.  Every string is converted to the library's
// code page here and held to the library's length limits, so the commands
// can hand them on as they are.
#pragma once

#include <string>
#include <vector>

namespace quill {

enum class Command { Help, List, Extract };

struct CommandLine {
    Command command = Command::Help;
    std::string archive;              // backslashes, Windows-1252
    std::vector<std::string> masks;   // none: every entry
    std::string outputDir;            // empty: the current directory
    bool keepDirectories = false;     // -k
    bool overwrite = false;           // -y
    std::string password;             // -p; empty: none given
};

struct ParsedCommandLine {
    bool ok = false;
    CommandLine line;
    std::string error;  // when not ok: what was wrong, for the user
};

// Parses the arguments that follow the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string> &args);

const char *UsageText();

// The library's limits on what it is handed.
inline constexpr size_t kMaxArchivePath = 260;
inline constexpr size_t kMaxOutputDir = 254;  // the library adds a backslash
inline constexpr size_t kMaxMask = 255;
inline constexpr size_t kMaxPassword = 249;   // the data-password answer buffer is 250 bytes

}  // namespace quill
