// text_bounds.h - lengths of untrusted strings, read no further than needed.
//
// Names from header blocks, host strings and the host's parameter blocks may
// lack a NUL within their buffer.  Every length the path code takes is
// measured with a limit, so no read goes beyond limit bytes of the text.
#pragma once

#include <cstddef>

namespace qm {

// Names and masks hold at most 255 characters: 256 bytes with the NUL.
constexpr std::size_t kNameSize = 256;
constexpr std::size_t kMaxNameLength = kNameSize - 1;

// The length of text, or limit if no NUL lies within its first limit bytes.
// A null text counts as empty.
inline std::size_t BoundedLength(const char *text, std::size_t limit)
{
    if (text == nullptr) return 0;
    std::size_t n = 0;
    while (n < limit && text[n] != '\0') ++n;
    return n;
}

// Copies text into dst, which has room for size bytes, if the text and its
// NUL fit.  False, with dst empty, when the text is too long.
inline bool CopyIfFits(const char *text, char *dst, std::size_t size)
{
    const std::size_t length = BoundedLength(text, size);
    if (length >= size) {
        dst[0] = '\0';
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) dst[i] = text[i];
    dst[length] = '\0';
    return true;
}

// Replaces every slash by a backslash, in place.
inline void SlashesToBackslashes(char *text)
{
    for (; *text != '\0'; ++text)
        if (*text == '/') *text = '\\';
}

}  // namespace qm
