// Mask lists and wildcard matching, through the exports and the matcher.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "state/status.h"
#include "paths/masks.h"
#include "paths/memory.h"
#include "quillmark.h"

namespace {

// A mask list that is released at the end of the test.
class MaskList {
public:
    MaskList() { InitFileMaskList(&list_); }
    explicit MaskList(std::initializer_list<const char *> masks) : MaskList()
    {
        for (const char *mask : masks) EXPECT_EQ(AppendFileMask(mask, &list_), 1) << mask;
    }
    ~MaskList() { DoneFileMaskList(&list_); }
    MaskList(const MaskList &) = delete;
    MaskList &operator=(const MaskList &) = delete;

    FileMaskList *get() { return &list_; }
    bool Matches(const std::string &name) const { return qm::MatchFileMaskList(name.c_str(), &list_); }

private:
    FileMaskList list_;
};

std::string Lower(std::string text)
{
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct MatchCase {
    const char *mask;
    const char *name;
    bool selected;
};

// Each row holds for any mix of case in mask and name.
const MatchCase kMatchTable[] = {
    {"*.*", "README.TXT", true},
    {"*.*", "DOC\\SUB\\A.TXT", true},
    {"*.*", "NOEXT", true},
    {"*.*", "", true},

    {"*.TXT", "README.TXT", true},
    {"*.TXT", "a.txt", true},
    {"*.TXT", "A.B.TXT", true},
    {"*.TXT", "DOC\\A.TXT", false},
    {"*.TXT", "A.TXT2", false},
    {"*.TXT", "README", false},

    {"DOC\\*.*", "DOC\\A.TXT", true},
    {"DOC\\*.*", "doc\\sub\\b.c", true},
    {"DOC\\*.*", "DOC\\README", true},
    {"DOC\\*.*", "OLD\\DOC\\C.TXT", true},
    {"DOC\\*.*", "DOC/A.TXT", true},
    {"DOC\\*.*", "A.TXT", false},
    {"DOC\\*.*", "DOCS\\A.TXT", false},
    {"DOC\\*.*", "X\\DOC\\C.TXT", false},

    {"DOC/*.*", "DOC\\A.TXT", true},
    {"DOC/*.*", "doc\\sub\\b.c", true},
    {"DOC/*.*", "DOC\\README", true},
    {"DOC/*.*", "OLD\\DOC\\C.TXT", true},
    {"DOC/*.*", "A.TXT", false},
    {"DOC/*.*", "DOCS\\A.TXT", false},
    {"DOC/*.*", "X\\DOC\\C.TXT", false},

    {"DOC\\*.TXT", "DOC\\A.TXT", true},
    {"DOC\\*.TXT", "DOC/A.TXT", true},
    {"DOC\\*.TXT", "DOC\\SUB\\A.TXT", false},
    {"DOC\\*.TXT", "A.TXT", false},

    {"A?C.*", "ABC.TXT", true},
    {"A?C.*", "AXC", true},
    {"A?C.*", "abc.d", true},
    {"A?C.*", "AC.TXT", false},
    {"A?C.*", "ABCD.TXT", false},
    {"A?C.*", "SUB\\ABC.TXT", false},

    {"*", "README", true},
    {"*", "A.", true},
    {"*", "A.TXT", false},
    {"*", "DOC\\README", false},
    {"*.", "README", true},
    {"*.", "A.", true},
    {"*.", "A.TXT", false},
    {"*.", "DOC\\README", false},

    {"*AB.TXT", "README.TXT", true},
    {"*AB.TXT", "a.txt", true},
    {"*AB.TXT", "A.B.TXT", true},
    {"*AB.TXT", "DOC\\A.TXT", false},
    {"*AB.TXT", "A.TXT2", false},
    {"*AB.TXT", "README", false},

    {"AB*.TXT", "AB*.TXT", true},
    {"AB*.TXT", "ABC.TXT", false},
    {"AB*.TXT", "ABCD.TXT", false},
    {"AB*.TXT", "AB.TXT", false},

    // A question mark never matches an absent character, and an asterisk in
    // the directory is an ordinary character.
    {"A?.TXT", "A.TXT", false},
    {"A?.TXT", "AB.TXT", true},
    {"*\\*.TXT", "DOC\\A.TXT", false},
    {"*\\*.TXT", "*\\A.TXT", true},

    // A drive belongs to the directory.
    {"C:\\DOC\\*.TXT", "C:\\DOC\\A.TXT", true},
    {"C:\\DOC\\*.TXT", "DOC\\A.TXT", false},
    {"C:*.*", "C:A.TXT", true},
    {"C:*.*", "A.TXT", false},
};

TEST(MaskMatching, TableHoldsForEveryMixOfCase)
{
    for (const MatchCase &row : kMatchTable) {
        const std::vector<std::pair<std::string, std::string>> variants = {
            {row.mask, row.name},
            {Lower(row.mask), row.name},
            {row.mask, Lower(row.name)},
        };
        for (const auto &[mask, name] : variants) {
            MaskList list{mask.c_str()};
            EXPECT_EQ(list.Matches(name), row.selected) << "mask '" << mask << "', name '" << name << "'";
        }
    }
}

TEST(MaskMatching, UmlautsFoldAndOtherAccentsDoNot)
{
    const MatchCase rows[] = {
        {"\xC4.TXT", "\xE4.TXT", true},    // Ä / ä
        {"\xE4.TXT", "\xC4.TXT", true},
        {"X\xD6.*", "x\xF6.dat", true},    // Ö / ö
        {"\xF6\\*.*", "\xD6\\A", true},    // in a directory
        {"\xDC?.TXT", "\xFC" "1.TXT", true},  // Ü / ü
        {"A.\xFC", "a.\xDC", true},
        {"\xC9.TXT", "\xE9.TXT", false},   // É / é stay apart
        {"\xE9.TXT", "\xC9.TXT", false},
        {"\xDF.TXT", "SS.TXT", false},     // ß has no upper case
    };
    for (const MatchCase &row : rows) {
        MaskList list{row.mask};
        EXPECT_EQ(list.Matches(row.name), row.selected) << row.mask << " / " << row.name;
    }
}

TEST(MaskMatching, EmptyListSelectsEveryName)
{
    MaskList list;
    EXPECT_EQ(list.get()->first, nullptr);
    EXPECT_TRUE(list.Matches(""));
    EXPECT_TRUE(list.Matches("DOC\\SUB\\A.TXT"));
    EXPECT_TRUE(list.Matches(std::string(400, 'A')));
}

TEST(MaskMatching, TwoMasksSelectTheUnion)
{
    MaskList list{"*.TXT", "DOC\\*.*"};
    const MatchCase rows[] = {
        {"", "README.TXT", true},   {"", "A.B.TXT", true},      {"", "DOC\\A.TXT", true},
        {"", "DOC\\README", true},  {"", "OLD\\DOC\\C", true},  {"", "README", false},
        {"", "DOCS\\A.TXT", false}, {"", "X\\DOC\\C.TXT", false},
    };
    for (const MatchCase &row : rows) EXPECT_EQ(list.Matches(row.name), row.selected) << row.name;
}

TEST(MaskMatching, EmptyMaskSelectsOnlyTheEmptyName)
{
    MaskList list{""};
    EXPECT_TRUE(list.Matches(""));
    for (const char *name : {"A", "A.TXT", "DOC\\", "\\"}) EXPECT_FALSE(list.Matches(name)) << name;
}

TEST(MaskMatching, MatchingLeavesTheNameAsItWas)
{
    MaskList list{"doc\\*.*"};
    char name[] = "doc/Sub/a.txt";
    EXPECT_TRUE(qm::MatchFileMaskList(name, list.get()));
    EXPECT_STREQ(name, "doc/Sub/a.txt");
}

struct SplitCase {
    const char *mask;
    const char *dir;
    const char *name;
    const char *ext;
};

TEST(MaskList, NodesHoldTheSplitMaskInOrder)
{
    const SplitCase rows[] = {
        {"C:\\DATA\\A.B.TXT", "C:\\DATA\\", "A.B", "TXT"},
        {"README.", "", "README", ""},
        {"doc/Sub/*.c", "doc\\Sub\\", "*", "c"},
        {"C:x.y", "C:", "x", "y"},
        {"DIR.EXT\\NAME", "DIR.EXT\\", "NAME", ""},
        {".profile", "", "", "profile"},
        {"", "", "", ""},
    };
    MaskList list;
    for (const SplitCase &row : rows) ASSERT_EQ(AppendFileMask(row.mask, list.get()), 1);

    const FileMask *node = list.get()->first;
    for (const SplitCase &row : rows) {
        ASSERT_NE(node, nullptr);
        EXPECT_STREQ(node->dir, row.dir) << row.mask;
        EXPECT_STREQ(node->name, row.name) << row.mask;
        EXPECT_STREQ(node->ext, row.ext) << row.mask;
        if (node->next == nullptr) {
            EXPECT_EQ(node, list.get()->last);
        }
        node = node->next;
    }
    EXPECT_EQ(node, nullptr);
}

TEST(MaskList, AppendKeepsTheStatusAndDoneEmptiesTheHead)
{
    SetArchiveStatus(9964);
    FileMaskList list;
    InitFileMaskList(&list);
    EXPECT_EQ(AppendFileMask("*.TXT", &list), 1);
    EXPECT_EQ(AppendFileMask("DOC\\*.*", &list), 1);
    EXPECT_EQ(GetArchiveStatus(), 9964);

    DoneFileMaskList(&list);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
    DoneFileMaskList(&list);  // a second release finds nothing to free
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);

    // The emptied list can be filled again.
    EXPECT_EQ(AppendFileMask("A", &list), 1);
    EXPECT_EQ(list.first, list.last);
    DoneFileMaskList(&list);
    EXPECT_EQ(GetArchiveStatus(), 9964);
    SetArchiveStatus(0);
}

TEST(MaskList, OverlongMaskIsRefusedWithTheListUnchanged)
{
    MaskList list{"*.TXT"};
    FileMask *const before = list.get()->last;

    const std::string longest = std::string(251, 'D') + "\\*.*";  // 255 characters
    EXPECT_EQ(AppendFileMask(longest.c_str(), list.get()), 1);
    EXPECT_NE(list.get()->last, before);
    EXPECT_TRUE(list.Matches(std::string(251, 'd') + "\\A"));
    FileMask *const accepted = list.get()->last;

    SetArchiveStatus(0);
    const std::string tooLong = std::string(252, 'D') + "\\*.*";  // 256 characters
    EXPECT_EQ(AppendFileMask(tooLong.c_str(), list.get()), 0);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_OUT_OF_MEMORY);
    EXPECT_EQ(list.get()->last, accepted);
    EXPECT_EQ(accepted->next, nullptr);
    SetArchiveStatus(0);
}

TEST(MaskMatching, OverlongOrUnterminatedNameMatchesNoMask)
{
    MaskList list{"*.*"};
    EXPECT_TRUE(list.Matches(std::string(255, 'A')));
    EXPECT_FALSE(list.Matches(std::string(256, 'A')));

    // A name buffer without a NUL is read no further than a name can reach.
    const std::vector<char> unterminated(256, 'A');
    EXPECT_FALSE(qm::MatchFileMaskList(unterminated.data(), list.get()));
}

TEST(MaskMemory, DupStringCopiesTextsThatFitSixteenBits)
{
    const std::string longest(65534, 'x');  // with its NUL, 65535 bytes
    char *copy = qm::DupString(longest.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(copy), longest);
    qm::FreeMem(copy);
    EXPECT_EQ(copy, nullptr);
    qm::FreeMem(copy);  // a second release finds nothing

    EXPECT_EQ(qm::DupString(std::string(65535, 'x').c_str()), nullptr);

    char *empty = qm::DupString("");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    qm::FreeMem(empty);
}

}  // namespace
