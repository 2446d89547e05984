// mask_selection.h - quill's masks as a Unix user types them, and the
// entries they select.
//
// '*' stands for any run of characters and '?' for one; case is ignored for
// every Windows-1252 letter; '/' and '\' both separate folders.  A mask
// without a separator is matched against the last part of each name, at any
// level ("*.wav" finds SOUND\BOAT.WAV); a mask with a separator against the
// whole name, where '*' crosses separators ("doc/*" finds DOC\SUB\A.TXT).
// Leading separators count on neither side.  No mask selects every entry.
//
// The library's masks follow other rules (an asterisk only at the start of a
// name or an extension, the folder matched whole), so quill selects from the
// full list itself and gives the library the exact names it chose.  The
// library compares names with a case folding that is finer than quill's
// (it folds a-z and three umlauts), so every name it takes for a chosen one
// is one quill chose as well.
#pragma once

#include <string>
#include <vector>

#include "quill/archive_session.h"

namespace quill {

// True when the mask matches the stored name (both Windows-1252).
bool MaskMatches(const std::string &mask, const std::string &name);

struct Selection {
    std::vector<Entry> entries;             // the chosen entries, in archive order
    std::vector<std::string> unmatched;     // the masks that chose none
    std::vector<std::string> libraryMasks;  // for the library; empty: every entry
};

// The entries of `all` that match one of the masks (all of them without a
// mask).  An entry whose name is too long to be a library mask (over 255
// characters) can only be chosen with every other one.
Selection SelectEntries(const std::vector<Entry> &all, const std::vector<std::string> &masks);

// Which entries of `all` the masks choose (every one without a mask) and
// the masks that chose none, for a run that reads the entries itself (the
// handle API) and so needs no library masks: no name is too long here.
struct Choice {
    std::vector<bool> chosen;  // by index in `all`
    std::vector<std::string> unmatched;
};
Choice ChooseEntries(const std::vector<Entry> &all, const std::vector<std::string> &masks);

class Display;

// One line on err for each mask that chose nothing:
// "quill: a.qm: no entry matches the mask *.ZIP".
void ReportUnmatched(Display &display, const std::string &archiveShown, const std::vector<std::string> &masks);

}  // namespace quill
