// windows_1252.h - between UTF-8 and Windows-1252, the code page of the
// library's 8-bit strings.
//
// Windows-1252 is Latin-1 except for 0x80-0x9F, where it places typographic
// characters; five bytes of that row are unassigned.  Names shown to a host
// give them as U+FFFD; names on a POSIX file system keep them as the C1
// control of the same value, as Windows' own conversion does, so that every
// stored name stays a distinct file name.
//
// Plain C++: the file layers of both platforms and the layers above use it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm::platform {

enum class UnassignedBytes { Replacement, SameControl };

std::string Utf8From1252(std::string_view text, UnassignedBytes unassigned = UnassignedBytes::Replacement);

// Nothing when the UTF-8 is malformed (overlong forms included) or holds a
// character Windows-1252 does not have.
std::optional<std::string> Utf8To1252(std::string_view text);

}  // namespace qm::platform
