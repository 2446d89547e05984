// The path-string utilities.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "paths/path_strings.h"

namespace {

TEST(PathStrings, AppendBackslash)
{
    const struct {
        const char *in, *out;
    } rows[] = {
        {"C:\\OUT", "C:\\OUT\\"}, {"C:\\OUT\\", "C:\\OUT\\"}, {"C:", "C:"}, {"", ""}, {"A", "A\\"},
    };
    for (const auto &row : rows) {
        char dst[16] = "garbage";
        EXPECT_STREQ(qm::AppendBackslash(row.in, dst), row.out) << row.in;
        char same[16];
        std::strcpy(same, row.in);
        EXPECT_STREQ(qm::AppendBackslash(same, same), row.out) << row.in << " in place";
    }
}

TEST(PathStrings, FindChar)
{
    EXPECT_EQ(qm::FindChar('\\', "A\\B\\C"), 1);
    EXPECT_EQ(qm::FindChar('\\', "ABC"), 255);
    EXPECT_EQ(qm::FindChar('\\', ""), 255);
    EXPECT_EQ(qm::FindChar('C', "ABC"), 2);
    // Only the first 255 characters count: an index must fit in 8 bits and
    // 255 means "none".
    const std::string longText = std::string(300, 'A') + "\\";
    EXPECT_EQ(qm::FindChar('\\', longText.c_str()), 255);
    EXPECT_EQ(qm::FindChar('\\', (std::string(254, 'A') + "\\").c_str()), 254);
}

TEST(PathStrings, SubString)
{
    const struct {
        const char *src;
        int start, count;
        const char *out;
    } rows[] = {
        {"ABCDEF", 2, 3, "CDE"}, {"ABCDEF", 2, 10, "CDEF"}, {"ABCDEF", 6, 3, ""},
        {"ABCDEF", 9, 1, ""},    {"ABCDEF", 0, 0, ""},      {"ABCDEF", 0, 6, "ABCDEF"},
        {"", 0, 1, ""},
    };
    for (const auto &row : rows) {
        char dst[16] = "garbage";
        EXPECT_STREQ(qm::SubString(row.src, static_cast<std::uint8_t>(row.start),
                                   static_cast<std::uint8_t>(row.count), dst),
                     row.out)
            << row.src << " " << row.start << " " << row.count;
    }
    char same[] = "ABCDEF";
    EXPECT_STREQ(qm::SubString(same, 2, 3, same), "CDE");
}

TEST(PathStrings, DeleteChars)
{
    const struct {
        const char *text;
        int pos, count;
        const char *out;
    } rows[] = {
        {"ABCDEF", 1, 2, "ADEF"}, {"ABCDEF", 0, 0, "ABCDEF"}, {"ABCDEF", 0, 6, ""},
        {"ABCDEF", 5, 1, "ABCDE"}, {"", 0, 1, ""},
        // Past the end nothing more is removed than the text holds.
        {"ABCDEF", 4, 9, "ABCD"}, {"ABCDEF", 6, 1, "ABCDEF"}, {"ABC", 200, 50, "ABC"},
    };
    for (const auto &row : rows) {
        char text[16];
        std::strcpy(text, row.text);
        EXPECT_STREQ(qm::DeleteChars(text, static_cast<std::uint8_t>(row.pos),
                                     static_cast<std::uint8_t>(row.count)),
                     row.out)
            << row.text << " " << row.pos << " " << row.count;
    }
}

TEST(PathStrings, StripToFileName)
{
    const struct {
        const char *in, *out;
    } rows[] = {
        {"C:\\A\\B.TXT", "B.TXT"}, {"C:B.TXT", "B.TXT"}, {"B.TXT", "B.TXT"}, {"DIR\\", ""},
        {"", ""},                  {"C:..", ".."},       {"A/B", "A/B"},
    };
    for (const auto &row : rows) {
        char dst[16] = "garbage";
        EXPECT_STREQ(qm::StripToFileName(row.in, dst), row.out) << row.in;
        char same[16];
        std::strcpy(same, row.in);
        EXPECT_STREQ(qm::StripToFileName(same, same), row.out) << row.in << " in place";
    }
}

}  // namespace
