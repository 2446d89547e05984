// json_listing.h - "quill l --json": the listing as one JSON object.
//
//   {"archive": "a.qm",
//    "entries": [{"name": "DOC\\A.TXT", "size": 107, "packedSize": 107,
//                 "ratio": 100, "modified": "2022-03-10T11:05:10",
//                 "attributes": "....A", "attributeBits": 32,
//                 "enciphered": false, "cipher": "none"}, ...],
//    "statistics": {"entries": 2, "size": 56571, "packedSize": 42658,
//                   "ratio": 75}}
//
// Strings are UTF-8.  "modified" is the stored local time in ISO 8601
// (no zone: archives keep none), or null when the stored DOS date/time names
// no real moment.  "cipher" is "none", "des", "3des" or "chaining" (a
// chaining value in front of plain data).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "quill/archive_session.h"
#include "quillmark.h"

namespace quill {

// A UTF-8 string as a JSON string literal, quotes included.
std::string JsonString(const std::string &utf8);

// "YYYY-MM-DDThh:mm:ss", or nothing for an impossible date or time.
std::optional<std::string> IsoDateTime(uint32_t dosDateTime);

void WriteJsonListing(std::ostream &out, const std::string &archiveShown,
                      const std::vector<Entry> &entries, const ArcExtraInfo &statistics);

}  // namespace quill
