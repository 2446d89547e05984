// masks.h - file mask lists and matching.
//
// A mask is split like a path into its directory (drive in front), file name
// and extension; matching compares the parts, case-insensitively through the
// library's one case folding.  An asterisk means "anything" only as the first
// character of the file-name or extension part; a question mark stands for
// exactly one character.
#pragma once

#include "quillmark.h"

namespace qm {

// True when the list is empty or one of its masks matches the name.
bool MatchFileMaskList(const char *name, const FileMaskList *list);

}  // namespace qm
