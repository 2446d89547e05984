// oem_name.h - stored names from the file system's UTF-8.
//
// Archives keep names in code page 437 with backslashes between folders, and
// the library reads them back through its Windows-1252 view of that code
// page.  A character is only stored when it comes back as itself: ASCII, and
// the letters and signs that code page 437 and Windows-1252 share (é, ü, ñ,
// Å, ß, £, ½ ...).  Box drawing and Greek have a 437 code too, but extraction
// would turn them into look-alikes, so they are refused like anything else
// 437 lacks (š, €, CJK ...).
#pragma once

#include <string>

namespace qmpack {

struct OemName {
    std::string bytes;    // the stored name, when it converts
    std::string refused;  // else: the first character that does not, as UTF-8
    std::string reason;   // and why
};

// `path` uses '/' between levels; the result uses '\'.
OemName ToOemName(const std::string &path);

}  // namespace qmpack
