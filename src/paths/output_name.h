// output_name.h - the name of the file an entry is extracted to.
//
// The stored name (slashes made backslashes) is cut to its file name, or,
// with the keep-directories option on, keeps its directories less one
// leading backslash.  When RelativePath is set and the name is longer, the
// name loses as many leading characters as RelativePath has, plus the
// separator behind them; only the length counts, the characters are not
// compared.  Whatever remains is appended to OutputPath.
//
// A stored name comes from the archive and is not trusted: before it is
// appended, the working name loses every leading backslash, a drive prefix
// ("X:") at its start and every ".." component, so the result never leaves
// OutputPath (or, with an empty OutputPath, the current directory).  A
// working name may come out empty, for example when RelativePath takes the
// whole name or the stored name was only "..": the result is then OutputPath
// alone, which names a directory rather than a file.
//
// On Windows the working name then loses the full stops and spaces at the
// end of its components and device names get an underscore in front (see
// windows_names.h); a file name of full stops and spaces only is refused.
#pragma once

#include <cstddef>
#include <string_view>

namespace qm {

struct HostState;

// The caller's buffer for an output name: 255 characters and the NUL.
constexpr std::size_t kOutputNameSize = 256;

// Writes the output name of storedName into out (kOutputNameSize bytes) and
// returns out.  Returns null, with out empty, when no name can be composed:
// the stored name is longer than 255 characters, OutputPath was refused as
// too long, OutputPath and the working name together exceed 255 characters,
// or (on Windows) nothing of the file name is left.  A name is never cut.
char *ComposeOutputName(const HostState &host, const char *storedName, char *out);

// What the name is composed with: the output folder (empty, or ending in a
// backslash or a colon), the relative path's length and the keep-directories
// option.  The form above takes them from the host's settings.
struct OutputNameRules {
    std::string_view outputFolder;
    std::size_t relativeLength;
    bool keepDirectories;
};
char *ComposeOutputName(const char *storedName, const OutputNameRules &rules, char *out);

}  // namespace qm
