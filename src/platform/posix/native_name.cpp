#include "platform/posix/native_name.h"

#include <cstdint>

namespace qm::platform {

namespace {

// Windows-1252 0x80..0x9F to Unicode; the five undefined codes map to the C1
// control of the same value, as Windows' own conversion does.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string &out, std::uint32_t cp)
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

std::string NativeName(const char *name)
{
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
        const unsigned char c = *p;
        if (c == '\\')
            out += '/';
        else if (c >= 0x80 && c < 0xA0)
            AppendUtf8(out, kHighControls[c - 0x80]);
        else
            AppendUtf8(out, c);
    }
    return out;
}

}  // namespace qm::platform
