// The library's case folding.
#include <gtest/gtest.h>

#include "paths/case_fold.h"

namespace {

TEST(CaseFold, LettersAndUmlautsOnly)
{
    const struct {
        unsigned char in, out;
    } rows[] = {
        {'a', 'A'}, {'z', 'Z'}, {'m', 'M'}, {'A', 'A'}, {'`', '`'}, {'{', '{'}, {'0', '0'},
        {228, 196}, {246, 214}, {252, 220},   // ä ö ü
        {196, 196}, {214, 214}, {220, 220},   // Ä Ö Ü stay
        {233, 233}, {224, 224}, {231, 231},   // é à ç stay
        {223, 223}, {255, 255}, {0, 0}, {128, 128},
    };
    for (const auto &row : rows)
        EXPECT_EQ(static_cast<unsigned char>(qm::UpCaseChar(static_cast<char>(row.in))), row.out)
            << "byte " << int(row.in);
}

TEST(CaseFold, StringInPlaceAndIntoAnotherBuffer)
{
    char text[] = "doc\\\xE4rger.txt";
    char copy[sizeof text];
    EXPECT_EQ(qm::UpCaseString(text, copy), copy);
    EXPECT_STREQ(copy, "DOC\\\xC4RGER.TXT");
    EXPECT_STREQ(text, "doc\\\xE4rger.txt");
    EXPECT_EQ(qm::UpCaseString(text, text), text);
    EXPECT_STREQ(text, "DOC\\\xC4RGER.TXT");
}

}  // namespace
