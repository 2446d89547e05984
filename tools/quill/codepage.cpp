// codepage.cpp - Windows-1252 <-> UTF-8: the command line and the terminal
// on POSIX, and JSON output and the handle API everywhere.
//
// Windows-1252 is Latin-1 except for 0x80-0x9F, where it places the
// typographic characters below; five bytes of that row are unassigned.
#include "quill/codepage.h"

#include <algorithm>
#include <cstdint>

namespace quill {

namespace {

// Unicode code points of bytes 0x80-0x9F; 0 marks an unassigned byte.
constexpr char32_t kHighRow[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::optional<char> ByteFor(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    const auto *at = std::find(std::begin(kHighRow), std::end(kHighRow), cp);
    if (at == std::end(kHighRow))
        return std::nullopt;
    return static_cast<char>(0x80 + (at - std::begin(kHighRow)));
}

void AppendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string Utf8FromLibraryText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0) {
            const char32_t cp = kHighRow[byte - 0x80];
            AppendUtf8(out, cp ? cp : 0xFFFD);
        } else {
            AppendUtf8(out, byte);
        }
    }
    return out;
}

namespace {

// Decodes UTF-8 into Windows-1252.  A malformed sequence ends the text
// (nothing); a character without a Windows-1252 form is the substitute, or
// ends the text when there is none.
std::optional<std::string> Decode(std::string_view text, std::optional<char> substitute)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        int extra;
        char32_t cp;
        if (lead < 0x80) {
            extra = 0;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0 && substitute) {
            // Four-byte sequences lie beyond Windows-1252 anyway.
            extra = 3;
            cp = 0x10000;
        } else {
            return std::nullopt;
        }
        if (text.size() - i <= static_cast<size_t>(extra))
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            if (extra < 3)
                cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms would smuggle in characters such as the slash.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800))
            return std::nullopt;
        const auto byte = extra < 3 ? ByteFor(cp) : std::nullopt;
        if (!byte && !substitute)
            return std::nullopt;
        out += byte ? *byte : *substitute;
        i += 1 + static_cast<size_t>(extra);
    }
    return out;
}

}  // namespace

std::string LibraryTextFromUtf8(std::string_view text)
{
    return Decode(text, '?').value_or(std::string());
}

std::string Utf8FromLibraryPath(std::string_view path)
{
    std::string out = Utf8FromLibraryText(path);
#ifndef _WIN32
    std::replace(out.begin(), out.end(), '\\', '/');
#endif
    return out;
}

#ifndef _WIN32

std::optional<std::string> ToLibraryText(const std::string &text) { return Decode(text, std::nullopt); }

std::string FromLibraryText(std::string_view text) { return Utf8FromLibraryText(text); }

#else

std::optional<std::string> ToLibraryText(const std::string &text) { return text; }

std::string FromLibraryText(std::string_view text) { return std::string(text); }

#endif

std::optional<std::string> ToLibraryPath(const std::string &path)
{
    auto out = ToLibraryText(path);
    if (out)
        std::replace(out->begin(), out->end(), '/', '\\');
    return out;
}

std::string FromLibraryPath(std::string_view path)
{
    std::string out = FromLibraryText(path);
#ifndef _WIN32
    std::replace(out.begin(), out.end(), '\\', '/');
#endif
    return out;
}

}  // namespace quill
