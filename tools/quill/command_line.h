// command_line.h - what the user asked quill to do.
//
//   quill l [--json] ARCHIVE [MASK...]
//   quill t [-q] ARCHIVE [MASK...]
//   quill x [-o DIR] [-k] [--relative PATH] [-y | -n] [-q] ARCHIVE [MASK...]
//   quill e [-o DIR] [-y | -n] [-q] ARCHIVE [MASK...]
//   every command also takes -p PASSWORD and -H PASSWORD
//
// x and e both extract: x with the stored folders, e without them.  Options
// may stand anywhere after the command letter, bundled and with '=' as
// getopt reads them (option_scanner.h); "--" ends them, so a mask may begin
// with a dash.  Every string is converted to the library's
// code page here and held to the library's length limits, so the commands
// can hand them on as they are.
#pragma once

#include <string>
#include <vector>

namespace quill {

enum class Command { Help, Version, List, Test, Extract };

struct CommandLine {
    Command command = Command::Help;
    std::string archive;              // backslashes, Windows-1252
    std::vector<std::string> masks;   // none: every entry
    std::string outputDir;            // -o; empty: the current directory
    std::string relativePath;         // --relative; no trailing backslash
    bool keepDirectories = false;     // x (e extracts flat)
    bool overwrite = false;           // -y
    bool neverOverwrite = false;      // -n
    bool quiet = false;               // -q
    bool json = false;                // --json
    std::string password;             // -p
    bool passwordGiven = false;
    std::string headerPassword;       // -H / --header-password
    bool headerPasswordGiven = false;
};

struct ParsedCommandLine {
    bool ok = false;
    CommandLine line;
    std::string error;  // when not ok: what was wrong, for the user
};

// Parses the arguments that follow the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string> &args);

const char *UsageText();
const char *VersionText();

// The library's limits on what it is handed.
inline constexpr size_t kMaxArchivePath = 260;
inline constexpr size_t kMaxOutputDir = 254;      // the library adds a backslash
inline constexpr size_t kMaxRelativePath = 260;
inline constexpr size_t kMaxMask = 255;
inline constexpr size_t kMaxPassword = 249;       // the data-password answer buffer is 250 bytes
inline constexpr size_t kMaxHeaderPassword = 255; // the header password buffer is 256 bytes

}  // namespace quill
