// oem_name.cpp - UTF-8 names to code page 437 (see oem_name.h).
#include "qmpack/oem_name.h"

#include <cstdint>
#include <iterator>

namespace qmpack {

namespace {

struct Pair {
    char32_t unicode;
    std::uint8_t oem;
};

// The upper half of code page 437 that reads back unchanged as Windows-1252.
constexpr Pair kShared[] = {
    {0x00C7, 0x80}, {0x00FC, 0x81}, {0x00E9, 0x82}, {0x00E2, 0x83}, {0x00E4, 0x84},
    {0x00E0, 0x85}, {0x00E5, 0x86}, {0x00E7, 0x87}, {0x00EA, 0x88}, {0x00EB, 0x89},
    {0x00E8, 0x8A}, {0x00EF, 0x8B}, {0x00EE, 0x8C}, {0x00EC, 0x8D}, {0x00C4, 0x8E},
    {0x00C5, 0x8F}, {0x00C9, 0x90}, {0x00E6, 0x91}, {0x00C6, 0x92}, {0x00F4, 0x93},
    {0x00F6, 0x94}, {0x00F2, 0x95}, {0x00FB, 0x96}, {0x00F9, 0x97}, {0x00FF, 0x98},
    {0x00D6, 0x99}, {0x00DC, 0x9A}, {0x00A2, 0x9B}, {0x00A3, 0x9C}, {0x00A5, 0x9D},
    {0x0192, 0x9F}, {0x00E1, 0xA0}, {0x00ED, 0xA1}, {0x00F3, 0xA2}, {0x00FA, 0xA3},
    {0x00F1, 0xA4}, {0x00D1, 0xA5}, {0x00AA, 0xA6}, {0x00BA, 0xA7}, {0x00BF, 0xA8},
    {0x00AC, 0xAA}, {0x00BD, 0xAB}, {0x00BC, 0xAC}, {0x00A1, 0xAD}, {0x00AB, 0xAE},
    {0x00BB, 0xAF}, {0x00DF, 0xE1}, {0x00B5, 0xE6}, {0x00B1, 0xF1}, {0x00F7, 0xF6},
    {0x00B0, 0xF8}, {0x00B7, 0xFA}, {0x00B2, 0xFD}, {0x00A0, 0xFF},
};

// Decodes one UTF-8 sequence at text[i]; advances i.  Returns U+FFFFFFFF for
// malformed input (a stray byte, a short or overlong sequence, a surrogate).
char32_t NextCodePoint(const std::string &text, std::size_t &i)
{
    constexpr char32_t kBad = 0xFFFFFFFF;
    const auto lead = static_cast<std::uint8_t>(text[i++]);
    if (lead < 0x80)
        return lead;
    int more;
    char32_t cp;
    if ((lead & 0xE0) == 0xC0) {
        more = 1, cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3, cp = lead & 0x07;
    } else {
        return kBad;
    }
    for (int k = 0; k < more; ++k) {
        if (i >= text.size() || (static_cast<std::uint8_t>(text[i]) & 0xC0) != 0x80)
            return kBad;
        cp = cp << 6 | (static_cast<std::uint8_t>(text[i++]) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kBad;
    return cp;
}

}  // namespace

OemName ToOemName(const std::string &path)
{
    OemName result;
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t start = i;
        const char32_t cp = NextCodePoint(path, i);
        auto refuse = [&](const char *reason) {
            result.bytes.clear();
            result.refused = path.substr(start, i - start);
            result.reason = reason;
            return result;
        };
        if (cp == 0xFFFFFFFF)
            return refuse("is not valid UTF-8");
        if (cp == '/') {
            result.bytes += '\\';
        } else if (cp == '\\') {
            return refuse("separates folders inside an archive");
        } else if (cp < 0x20 || cp == 0x7F) {
            return refuse("is a control character");
        } else if (cp < 0x80) {
            result.bytes += static_cast<char>(cp);
        } else {
            const Pair *found = nullptr;
            for (const Pair &p : kShared)
                if (p.unicode == cp)
                    found = &p;
            if (!found)
                return refuse("has no code page 437 form that extracts as itself");
            result.bytes += static_cast<char>(found->oem);
        }
    }
    return result;
}

}  // namespace qmpack
