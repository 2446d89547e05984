// split_path.h - splitting a name or mask into directory, file name and
// extension.
//
// The rule is the same on every platform:
//   1. Drive: when the second character is a colon, the first two characters.
//   2. Directory: in what follows the drive, everything up to and including
//      the last backslash or slash; empty when there is none.
//   3. Extension: from the last full stop that stands after the directory to
//      the end; the file name lies between the directory and that full stop
//      (or runs to the end when there is none).
// The drive is then put in front of the directory, and the extension loses
// its leading full stop: "C:\DATA\A.B.TXT" gives "C:\DATA\", "A.B", "TXT";
// "README." gives "", "README", "".
#pragma once

#include "paths/text_bounds.h"

namespace qm {

struct PathParts {
    char dir[kNameSize];   // drive and directory
    char name[kNameSize];  // file name without extension
    char ext[kNameSize];   // extension without its full stop
};

// Splits text, which holds at most 255 characters (longer texts are taken
// up to their 255th character), into parts.
void SplitPath(const char *text, PathParts &parts);

}  // namespace qm
