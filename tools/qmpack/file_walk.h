// file_walk.h - the files a qmpack command line names.
//
// Each PATH on the command line contributes its own last level and what lies
// below it: "docs" and "/home/u/docs" both give "docs/...", a file
// "notes/a.txt" gives "a.txt", and "." gives the folder's contents without a
// prefix.  Folders are walked recursively in name order; symbolic links to
// files are followed, links to folders are not walked (no loops).  Folders
// themselves are not stored: the format has no entry for them, and
// extraction creates the levels a file needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qmpack {

struct FoundFile {
    std::string path;       // where to read it
    std::string name;       // the name to store, UTF-8 with '/'
    std::uint32_t dosDateTime;
    std::uint32_t attributes;
    std::uint64_t size;
};

struct WalkResult {
    std::vector<FoundFile> files;
    std::vector<std::string> errors;    // one line each, "PATH: reason"; the walk goes on
    std::vector<std::string> skipped;   // special files, the archive itself
};

// `skipPath`: a file never taken (the archive being written), matched by
// identity, so a folder that holds the archive can be packed into it.
WalkResult WalkPaths(const std::vector<std::string> &paths, const std::string &skipPath);

// A time as a local DOS date/time, clamped to 1980..2107; odd seconds round
// down.
std::uint32_t DosDateTime(std::int64_t unixSeconds);

}  // namespace qmpack
