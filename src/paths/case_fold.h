// case_fold.h - the library's one case folding.
//
// Names and masks are compared case-insensitively through this folding only.
// It works on Windows-1252 bytes: a to z become A to Z, and the three umlauts
// ä, ö, ü (228, 246, 252) become Ä, Ö, Ü (196, 214, 220).  Every other byte,
// other accented letters and ß included, stays as it is.
#pragma once

namespace qm {

// One byte in, its upper-case form out.
char UpCaseChar(char c);

// Writes UpCaseChar of every byte of src, its NUL included, to the same
// position of dst.  src and dst may be the same buffer.  Returns dst.
char *UpCaseString(const char *src, char *dst);

}  // namespace qm
