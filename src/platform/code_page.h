// code_page.h - stored names from the OEM code page to the ANSI code page.
//
// Names in header blocks are in the OEM code page (437); the library works in
// Windows-1252.  On Windows the conversion is the system's OemToCharA; the
// POSIX layer carries a table that gives the same bytes as OemToCharA on a
// Windows whose OEM code page is 437, best-fit replacements included (box
// drawing becomes + - and a broken bar, Greek letters their Latin look-alikes).
#pragma once

namespace qm::platform {

// Converts a NUL-terminated string in place.  Every byte maps to exactly one
// byte, so the length does not change.
void ConvertOemToAnsi(char *text);

}  // namespace qm::platform
