// windows_1252.cpp - UTF-8 <-> Windows-1252.
#include "platform/windows_1252.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace qm::platform {

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
    if (cp == 0 || at == std::end(kHighRow))
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

std::string Utf8From1252(std::string_view text, UnassignedBytes unassigned)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0) {
            const char32_t cp = kHighRow[byte - 0x80];
            const char32_t shown = unassigned == UnassignedBytes::SameControl ? char32_t{byte} : 0xFFFD;
            AppendUtf8(out, cp ? cp : shown);
        } else {
            AppendUtf8(out, byte);
        }
    }
    return out;
}

std::optional<std::string> Utf8To1252(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
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
        } else {
            return std::nullopt;  // four-byte forms lie beyond Windows-1252
        }
        if (text.size() - i <= static_cast<std::size_t>(extra))
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (next & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800))
            return std::nullopt;
        const auto byte = ByteFor(cp);
        if (!byte)
            return std::nullopt;
        out += *byte;
        i += 1 + static_cast<std::size_t>(extra);
    }
    return out;
}

}  // namespace qm::platform
