// directory_walk.h - the directory levels of an output path, left to right.
//
// When an output file cannot be opened, its directories are taken one level
// at a time from the left: "C:\out\a\b\f.txt" gives C:\out, C:\out\a and
// C:\out\a\b.  A drive ("C:") or a root ("\") is passed over, since neither
// is ever made.  On a network share the levels below the share are given
// with the share prefix in front ("\\srv\pub\x\f.txt" gives \\srv\pub\x);
// the share itself is never a level.  The last component, the file name, is
// never a level either.
#pragma once

#include <string>
#include <string_view>

namespace qm {

class DirectoryWalk {
public:
    explicit DirectoryWalk(std::string_view path);

    // The next directory level; false when the path has no more.
    bool Next(std::string &directory);

private:
    std::string work_;    // what is left of the path (below the share)
    std::string share_;   // the share prefix, empty unless on a share
    std::string prefix_;  // the levels taken so far
    bool unc_;
};

}  // namespace qm
