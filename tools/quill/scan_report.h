// scan_report.h - the lines "quill scan" writes for an archive it found.
//
// Text, one line an archive:
//   PATH: archive at 3000, 2 entries, header blocks plain, all intact
// JSON, one object a line (names and paths in UTF-8):
//   {"path": "a.qm", "offset": 3000, "entries": 2, "headerCipher": "none",
//    "test": "intact", "damaged": [], "error": null}
// "entries" is null when enciphered header blocks hide them; "headerCipher"
// is "none" or "des"; "test" is null without --test, else "intact",
// "damaged" (some entry, or a header block) or "password" (entries, or the
// header blocks, need a password to be checked; none is damaged).
#pragma once

#include <string>

#include "quill/scan_probe.h"

namespace quill {

// The verdict of --test ("intact", "damaged", "password"), or "" without it.
std::string ScanVerdict(const ScanResult &r);

std::string ScanTextLine(const ScanResult &r);
std::string ScanJsonLine(const ScanResult &r);

}  // namespace quill
