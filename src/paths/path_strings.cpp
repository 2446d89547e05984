// path_strings.cpp - path-string utilities (see path_strings.h).
#include "paths/path_strings.h"

#include <algorithm>
#include <cstring>

namespace qm {

static inline bool IsPathEnd(char c) { return c == '\\' || c == ':'; }

char *AppendBackslash(const char *src, char *dst)
{
    const std::size_t length = std::strlen(src);
    std::memmove(dst, src, length + 1);
    if (length > 0 && !IsPathEnd(dst[length - 1])) {
        dst[length] = '\\';
        dst[length + 1] = '\0';
    }
    return dst;
}

std::uint8_t FindChar(char c, const char *text)
{
    for (std::uint8_t i = 0; i < 255 && text[i] != '\0'; ++i)
        if (text[i] == c) return i;
    return 255;
}

char *SubString(const char *src, std::uint8_t start, std::uint8_t count, char *dst)
{
    const std::size_t length = std::strlen(src);
    if (count == 0 || start >= length) {
        dst[0] = '\0';
        return dst;
    }
    const std::size_t taken = std::min<std::size_t>(count, length - start);
    std::memmove(dst, src + start, taken);
    dst[taken] = '\0';
    return dst;
}

char *DeleteChars(char *text, std::uint8_t pos, std::uint8_t count)
{
    const std::size_t length = std::strlen(text);
    if (count == 0 || pos >= length) return text;
    const std::size_t removed = std::min<std::size_t>(count, length - pos);
    std::memmove(text + pos, text + pos + removed, length - pos - removed + 1);
    return text;
}

char *StripToFileName(const char *src, char *dst)
{
    std::size_t start = 0;
    std::size_t length = 0;
    for (; src[length] != '\0'; ++length)
        if (IsPathEnd(src[length])) start = length + 1;
    std::memmove(dst, src + start, length - start + 1);
    return dst;
}

}  // namespace qm
