// masks.h - file mask lists and matching.
//
// A mask is split like a path into its directory (drive in front), file name
// and extension; matching compares the parts, case-insensitively through the
// library's one case folding.  An asterisk means "anything" only as the first
// character of the file-name or extension part; a question mark stands for
// exactly one character.
//
// A mask whose file-name and extension parts both begin with an asterisk is
// an all-files mask: it selects every entry whose directory holds the mask's
// directory (at the start, or further in at a directory boundary).  Any other
// mask wants the entry's directory to equal its own.
//
// Over-long input: a mask text longer than 255 characters is refused
// (AppendFileMask returns 0 and sets status 8, as when the mask cannot be
// held in memory); an entry name longer than 255 characters is matched by no
// mask, only by the empty list.
#pragma once

#include "quillmark.h"
#include "state/status.h"

namespace qm {

// Empties the list head; frees nothing.
void InitFileMaskList(FileMaskList *list);

// Splits the mask and links it as a new node at the end of the list.
// False, with status 8 and the list unchanged, when the mask cannot
// be held.  A null mask counts as the empty mask.
bool AppendFileMask(StatusWord &status, const char *mask, FileMaskList *list);

// Frees every node, first to last, and empties the list head.
void DoneFileMaskList(FileMaskList *list);

// True when the list is empty or one of its masks matches the name.
bool MatchFileMaskList(const char *name, const FileMaskList *list);

// True when one mask matches a name whose slashes are already backslashes
// and whose case is already folded.
bool MatchFileMask(const char *name, const FileMask *mask);

}  // namespace qm
