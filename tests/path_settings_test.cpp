// The path setters, through the exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/status.h"
#include "path_settings_guard.h"
#include "paths/output_name.h"
#include "quillmark.h"

namespace {

using PathSettings = qmtest::PathSettingsTest;

TEST_F(PathSettings, OutputPathEndsInASeparator)
{
    const struct {
        const char *in, *out;
    } rows[] = {
        {"C:\\OUT", "C:\\OUT\\"}, {"C:\\OUT\\", "C:\\OUT\\"}, {"C:", "C:"}, {"", ""}, {"out", "out\\"},
    };
    for (const auto &row : rows) {
        SetOutputPath("C:\\PREVIOUS\\");
        SetOutputPath(row.in);
        EXPECT_STREQ(S().paths.output, row.out) << row.in;
    }
    SetOutputPath("C:\\PREVIOUS\\");
    SetOutputPath(nullptr);
    EXPECT_STREQ(S().paths.output, "");
}

TEST_F(PathSettings, InputPathGetsABackslashPastThreeCharacters)
{
    const struct {
        const char *in, *out;
    } rows[] = {
        {"C:\\IN", "C:\\IN\\"}, {"C:\\IN\\", "C:\\IN\\\\"}, {"ABC", "ABC"}, {"ABCD", "ABCD\\"},
        {"", ""},               {"C:", "C:"},               {"C:\\", "C:\\"},
    };
    for (const auto &row : rows) {
        SetInputPath(row.in);
        EXPECT_STREQ(S().paths.input, row.out) << row.in;
    }
}

TEST_F(PathSettings, RelativePathIsTakenAsItIs)
{
    for (const char *path : {"DOC", "doc/sub\\", "C:\\X", ""}) {
        SetRelativePath(path);
        EXPECT_STREQ(S().paths.relative, path);
    }
}

TEST_F(PathSettings, SettersLeaveTheStatusAlone)
{
    SetArchiveStatus(9964);
    SetOutputPath("C:\\OUT");
    SetInputPath("C:\\IN");
    SetRelativePath("DOC");
    SetOutputPath(std::string(400, 'X').c_str());
    EXPECT_EQ(GetArchiveStatus(), 9964);
    SetArchiveStatus(0);
}

// A host's block with the two strings at their offsets; by default it
// reaches well past the output string.
std::vector<char> DecompBlock(const std::string &relative, const std::string &output,
                              std::size_t size = 0)
{
    if (size == 0) size = QM_DECOMP_OUTPUT_PATH_OFFSET + output.size() + 1 + 256;
    std::vector<char> block(size, '\x7F');
    std::memcpy(block.data() + QM_DECOMP_RELATIVE_PATH_OFFSET, relative.c_str(), relative.size() + 1);
    std::memcpy(block.data() + QM_DECOMP_OUTPUT_PATH_OFFSET, output.c_str(), output.size() + 1);
    return block;
}

TEST_F(PathSettings, DecompExtraFeaturesSetsOnlyWhatIsGiven)
{
    const struct {
        const char *relative, *output;
        const char *wantRelative, *wantOutput;
    } rows[] = {
        {"", "", "OLDREL", "C:\\OLD\\"},
        {"", "D:\\NEW", "OLDREL", "D:\\NEW\\"},
        {"SUB", "", "SUB", "C:\\OLD\\"},
        {"SUB", "D:\\NEW\\", "SUB", "D:\\NEW\\"},
    };
    for (const auto &row : rows) {
        SetOutputPath("C:\\OLD");
        SetRelativePath("OLDREL");
        const std::vector<char> block = DecompBlock(row.relative, row.output);
        SetDecompExtraFeatures(block.data());
        EXPECT_STREQ(S().paths.relative, row.wantRelative) << row.relative << " / " << row.output;
        EXPECT_STREQ(S().paths.output, row.wantOutput) << row.relative << " / " << row.output;
    }
}

TEST_F(PathSettings, DecompExtraFeaturesReadsNothingPastTheOutputString)
{
    // The block ends right behind the output path's NUL; the sanitizers
    // catch any read beyond it.
    const std::vector<char> block = DecompBlock("SUB", "", QM_DECOMP_OUTPUT_PATH_OFFSET + 1);
    SetOutputPath("C:\\OLD");
    SetDecompExtraFeatures(block.data());
    EXPECT_STREQ(S().paths.relative, "SUB");
    EXPECT_STREQ(S().paths.output, "C:\\OLD\\");
}

TEST_F(PathSettings, OverlongOutputPathIsRefused)
{
    char name[qm::kOutputNameSize];
    const struct {
        std::string path;
        bool accepted;
    } rows[] = {
        {std::string(254, 'O'), true},           // 255 with the backslash
        {std::string(254, 'O') + "\\", true},    // 255 as it stands
        {std::string(255, 'O'), false},          // would need 256
        {std::string(255, 'O') + "\\", false},
        {std::string(1000, 'O'), false},
    };
    for (const auto &row : rows) {
        SetOutputPath("C:\\OLD");
        SetOutputPath(row.path.c_str());
        if (row.accepted) {
            EXPECT_EQ(std::strlen(S().paths.output), 255u);
            EXPECT_FALSE(S().paths.outputRefused);
        } else {
            // Neither the old path nor a cut one is used: no name composes.
            EXPECT_STREQ(S().paths.output, "") << row.path.size();
            EXPECT_EQ(qm::ComposeOutputName(S(), "A", name), nullptr);
            EXPECT_STREQ(name, "");
        }
    }

    // An output path that fits ends the refusal.
    SetOutputPath("C:\\OUT");
    EXPECT_STREQ(qm::ComposeOutputName(S(), "A", name), "C:\\OUT\\A");

    // An unterminated path is read no further than it can be held.
    const std::vector<char> unterminated(qm::kOutputPathSize, 'O');
    SetOutputPath(unterminated.data());
    EXPECT_EQ(qm::ComposeOutputName(S(), "A", name), nullptr);

    // A refused output path in the host's block is refused the same way.
    const std::vector<char> block = DecompBlock("", std::string(300, 'O'));
    SetOutputPath("C:\\OUT");
    SetDecompExtraFeatures(block.data());
    EXPECT_EQ(qm::ComposeOutputName(S(), "A", name), nullptr);
}

TEST_F(PathSettings, OverlongInputAndRelativePathsAreCut)
{
    SetInputPath(std::string(259, 'I').c_str());
    EXPECT_EQ(std::string(S().paths.input), std::string(259, 'I') + "\\");
    SetInputPath(std::string(400, 'J').c_str());
    EXPECT_EQ(std::string(S().paths.input), std::string(259, 'J') + "\\");

    SetRelativePath(std::string(260, 'R').c_str());
    EXPECT_EQ(std::string(S().paths.relative), std::string(260, 'R'));
    const std::vector<char> unterminated(600, 'S');
    SetRelativePath(unterminated.data());
    EXPECT_EQ(std::string(S().paths.relative), std::string(260, 'S'));

    // Cut or not, a relative path this long is longer than any stored name,
    // so it removes nothing.
    arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    char name[qm::kOutputNameSize];
    const std::string stored = std::string(255, 'S');
    EXPECT_EQ(std::string(qm::ComposeOutputName(S(), stored.c_str(), name)), stored);
}

}  // namespace
