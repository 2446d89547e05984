// windows_names.h - stored names made safe for the Windows file system.
//
// Windows gives some names a meaning of their own.  A component whose stem
// (the part before its first full stop, trailing spaces ignored) is a device
// name, CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 (also with the superscript
// digits 1-3 of the code page), CONIN$ or CONOUT$, in any case and with any
// extension, opens that device instead of a file; and the system silently
// drops the full stops and spaces at the end of a component, so "A." and
// "A " would both land on "A".  The Win32 output-name step makes each
// component of a stored name plain instead:
//   - full stops and spaces at the end of a component are dropped, as the
//     system would drop them, so the name written is the name asked for;
//   - a directory component that only they made up goes with its separator,
//     like a ".." component ("...\A" becomes "A"), and so does an empty one
//     ("A\\B" becomes "A\B", as Windows reads it); a file name that only
//     they made up leaves no name at all, and the entry is refused;
//   - a device stem gets an underscore in front ("CON.TXT" becomes
//     "_CON.TXT", "LPT1\A" becomes "_LPT1\A").
// Other characters the system refuses (<, >, |, ...) are left alone: opening
// such a name simply fails.  POSIX file systems give none of these names a
// meaning, and names there stay as stored.
#pragma once

#include <cstddef>

namespace qm {

// Rewrites name (a NUL-terminated working name with backslash separators) in
// place by the rules above.  name has room for capacity bytes.  False, with
// name unchanged, when the entry must be refused: its file name consisted of
// full stops and spaces only, or the underscores would not fit.
bool MakeWindowsSafeName(char *name, std::size_t capacity);

}  // namespace qm
