// qmpack's stored names against the library's own reading of them: qmpack
// stores a character exactly when it has a code page 437 byte that comes
// back as the same character through the library's conversion.
#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"
#include "platform/posix/native_name.h"
#include "qmpack/oem_name.h"

namespace {

// The standard code page 437 table: the character of each byte 80-FF.
constexpr char32_t kCp437UpperHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80-87
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88-8F
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90-97
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98-9F
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0-A7
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8-AF
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0-B7
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8-BF
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0-C7
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8-CF
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0-D7
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8-DF
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0-E7
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8-EF
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0-F7
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8-FF
};

std::string Utf8(char32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// What the library makes of a stored name on this platform's disk.
std::string Extracted(const std::string &stored)
{
    std::string text = stored;
    qm::platform::ConvertOemToAnsi(text.data());
    return qm::platform::NativeName(text.c_str());
}

TEST(QmpackNames, StoredExactlyWhatComesBackAsItself)
{
    int stored = 0;
    for (char32_t cp = 0x20; cp < 0x2600; ++cp) {
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == '/')
            continue;  // no character; the folder separator
        // The code page 437 byte of cp, if it has one.
        int byte = cp < 0x7F ? static_cast<int>(cp) : -1;
        for (int b = 0; b < 128; ++b)
            if (kCp437UpperHalf[b] == cp)
                byte = 0x80 + b;
        const bool storable = cp != '\\' && byte >= 0 &&
                              Extracted(std::string(1, static_cast<char>(byte))) == Utf8(cp);

        // Built by appends: GCC 12 at -O3 warns (-Wrestrict) on "a" + string.
        std::string name = "a";
        name += Utf8(cp);
        name += ".txt";
        SCOPED_TRACE(name);
        const qmpack::OemName oem = qmpack::ToOemName(name);
        EXPECT_EQ(oem.refused.empty(), storable);
        if (oem.refused.empty()) {
            ++stored;
            std::string bytes = "a";
            bytes += static_cast<char>(byte);
            bytes += ".txt";
            EXPECT_EQ(oem.bytes, bytes);
        } else {
            EXPECT_EQ(oem.refused, Utf8(cp));
        }
    }
    EXPECT_EQ(stored, 93 + 54);  // printable ASCII but the separators, and the shared letters and signs
}

TEST(QmpackNames, FoldersAndMalformedText)
{
    struct Case {
        const char *utf8;
        const char *stored;   // nullptr: refused
        const char *refused;  // the character named in the refusal
    } cases[] = {
        {"docs/Crème brûlée.txt", "docs\\Cr\x8Ame br\x96l\x82" "e.txt", ""},
        {"a/b/c", "a\\b\\c", ""},
        {"bad\\name", nullptr, "\\"},
        {"tab\there", nullptr, "\t"},
        {"stray \x80 byte", nullptr, "\x80"},
        {"overlong \xC0\xAF", nullptr, "\xC0\xAF"},
        {"cut \xC3", nullptr, "\xC3"},
        {"surrogate \xED\xA0\x80", nullptr, "\xED\xA0\x80"},
        {"\xF0\x9F\x98\x80.txt", nullptr, "\xF0\x9F\x98\x80"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.utf8);
        const qmpack::OemName oem = qmpack::ToOemName(c.utf8);
        if (c.stored) {
            EXPECT_EQ(oem.bytes, c.stored);
            EXPECT_TRUE(oem.refused.empty());
        } else {
            EXPECT_EQ(oem.refused, c.refused);
            EXPECT_TRUE(oem.bytes.empty());
            EXPECT_FALSE(oem.reason.empty());
        }
    }
}

}  // namespace
