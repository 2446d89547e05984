// windows_1252.h - between UTF-8 and Windows-1252, the code page of the
// library's 8-bit strings.
//
// Windows-1252 is Latin-1 except for 0x80-0x9F, where it places typographic
// characters; five bytes of that row are unassigned and come out as U+FFFD.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

std::string Utf8From1252(std::string_view text);

// Nothing when the UTF-8 is malformed (overlong forms included) or holds a
// character Windows-1252 does not have.
std::optional<std::string> Utf8To1252(std::string_view text);

}  // namespace qm
