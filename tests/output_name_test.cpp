// Output names: the stored name, the keep-directories option, the relative
// path and the output path; and that no stored name leaves the output path.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "path_settings_guard.h"
#include "paths/output_name.h"
#include "quillmark.h"

namespace {

class OutputName : public qmtest::PathSettingsTest {
protected:
    void KeepDirectories(bool on)
    {
        if (on)
            arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
        else
            arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
    }
    // The composed name, or "<refused>".
    std::string Compose(const std::string &stored)
    {
        char out[qm::kOutputNameSize];
        std::memset(out, '#', sizeof out);
        const char *result = qm::ComposeOutputName(stored.c_str(), out);
        if (result == nullptr) {
            EXPECT_STREQ(out, "") << "a refused name leaves the buffer empty";
            return "<refused>";
        }
        EXPECT_EQ(result, out);
        return out;
    }
};

struct ComposeCase {
    bool keep;
    const char *relative;
    const char *stored;
    const char *output;
};

TEST_F(OutputName, OutputPathRelativePathAndOption)
{
    const ComposeCase rows[] = {
        {false, "", "DOC\\SUB\\A.TXT", "C:\\OUT\\A.TXT"},
        {false, "", "DOC/A.TXT", "C:\\OUT\\A.TXT"},
        {true, "", "DOC\\SUB\\A.TXT", "C:\\OUT\\DOC\\SUB\\A.TXT"},
        {true, "", "DOC/A.TXT", "C:\\OUT\\DOC\\A.TXT"},
        {true, "", "\\DOC\\A.TXT", "C:\\OUT\\DOC\\A.TXT"},
        // The relative path goes by its length: three characters remove four.
        {true, "DOC", "DOC\\SUB\\A.TXT", "C:\\OUT\\SUB\\A.TXT"},
        {true, "DOC", "OTHER\\B.TXT", "C:\\OUT\\R\\B.TXT"},
        {true, "DOC", "DOCX", "C:\\OUT\\"},
        {true, "DOC", "DOC", "C:\\OUT\\DOC"},
        {false, "DOC", "DOC\\README.TXT", "C:\\OUT\\ME.TXT"},
        {true, "doc", "DOC\\A.TXT", "C:\\OUT\\A.TXT"},
    };
    for (const ComposeCase &row : rows) {
        SetOutputPath("C:\\OUT\\");
        SetRelativePath(row.relative);
        KeepDirectories(row.keep);
        EXPECT_EQ(Compose(row.stored), row.output)
            << (row.keep ? "on, " : "off, ") << "relative '" << row.relative << "', " << row.stored;
    }
}

TEST_F(OutputName, EmptyOutputPathGivesTheWorkingNameAlone)
{
    const ComposeCase rows[] = {
        {false, "", "DOC\\SUB\\A.TXT", "A.TXT"},
        {true, "", "DOC\\SUB\\A.TXT", "DOC\\SUB\\A.TXT"},
        {true, "", "\\DOC\\A.TXT", "DOC\\A.TXT"},
        {true, "DOC", "DOC\\SUB\\A.TXT", "SUB\\A.TXT"},
    };
    for (const ComposeCase &row : rows) {
        SetRelativePath(row.relative);
        KeepDirectories(row.keep);
        EXPECT_EQ(Compose(row.stored), row.output) << row.stored;
    }
}

TEST_F(OutputName, SettingsAreReadAtEachCall)
{
    SetOutputPath("C:\\OUT");
    EXPECT_EQ(Compose("D\\A"), "C:\\OUT\\A");
    KeepDirectories(true);
    EXPECT_EQ(Compose("D\\A"), "C:\\OUT\\D\\A");
    SetOutputPath("E:");
    EXPECT_EQ(Compose("D\\A"), "E:D\\A");
}

TEST_F(OutputName, LongNamesAreRefusedNeverCut)
{
    KeepDirectories(true);
    SetOutputPath(std::string(249, 'O').c_str());  // 250 with the backslash
    EXPECT_EQ(Compose("ABCDE"), std::string(249, 'O') + "\\ABCDE");
    EXPECT_EQ(Compose("ABCDEF"), "<refused>");
    EXPECT_EQ(Compose("\\ABCDE"), std::string(249, 'O') + "\\ABCDE");

    SetOutputPath("");
    EXPECT_EQ(Compose(std::string(255, 'N')), std::string(255, 'N'));
    EXPECT_EQ(Compose(std::string(256, 'N')), "<refused>");

    // A stored name without a NUL in its 256-byte field.
    const std::vector<char> unterminated(256, 'N');
    char out[qm::kOutputNameSize];
    EXPECT_EQ(qm::ComposeOutputName(unterminated.data(), out), nullptr);
}

// True when name lies inside outputPath: it begins with it, and what follows
// has no root, no drive and no ".." component.
::testing::AssertionResult Confined(const std::string &name, const std::string &outputPath)
{
    if (name.compare(0, outputPath.size(), outputPath) != 0)
        return ::testing::AssertionFailure() << "'" << name << "' does not begin with '" << outputPath << "'";
    const std::string rest = name.substr(outputPath.size());
    if (rest.find('/') != std::string::npos) return ::testing::AssertionFailure() << "slash in '" << name << "'";
    if (!rest.empty() && rest[0] == '\\') return ::testing::AssertionFailure() << "root in '" << name << "'";
    if (rest.size() >= 2 && rest[1] == ':') return ::testing::AssertionFailure() << "drive in '" << name << "'";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = rest.find('\\', start);
        if (rest.substr(start, end - start) == "..")
            return ::testing::AssertionFailure() << "'..' in '" << name << "'";
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return ::testing::AssertionSuccess();
}

TEST_F(OutputName, TraversalAttemptsStayInsideTheOutputPath)
{
    // keep-directories on, OutputPath C:\OUT\, no relative path.
    const struct {
        const char *stored, *onName, *offName;
    } rows[] = {
        {"..\\..\\x", "x", "x"},
        {"../../x", "x", "x"},
        {"a\\..\\..\\b", "a\\b", "b"},
        {"a\\b\\..", "a\\b\\", ""},
        {"..", "", ""},
        {"C:\\x", "x", "x"},
        {"C:x", "x", "x"},
        {"C:..\\x", "x", "x"},
        {"C:..", "", ""},
        {"..\\C:\\x", "x", "x"},
        {"\\\\server\\share\\x", "server\\share\\x", "x"},
        {"\\..\\x", "x", "x"},
        {"/etc/passwd", "etc\\passwd", "passwd"},
        {"D:", "", ""},
        {"\\", "", ""},
        // Names that only look like parents are kept.
        {"...\\x", "...\\x", "x"},
        {"..a\\b..", "..a\\b..", "b.."},
        {".\\x", ".\\x", "x"},
    };
    for (const auto &row : rows) {
        for (bool keep : {true, false}) {
            SetOutputPath("C:\\OUT\\");
            KeepDirectories(keep);
            const std::string name = Compose(row.stored);
            EXPECT_EQ(name, std::string("C:\\OUT\\") + (keep ? row.onName : row.offName))
                << (keep ? "on: " : "off: ") << row.stored;
            EXPECT_TRUE(Confined(name, "C:\\OUT\\"));
        }
    }

    // The relative path's removal can expose a parent or a drive.
    SetOutputPath("C:\\OUT\\");
    KeepDirectories(true);
    SetRelativePath("AB");
    EXPECT_EQ(Compose("AB\\..\\..\\x"), "C:\\OUT\\x");
    EXPECT_EQ(Compose("AB\\C:\\x"), "C:\\OUT\\x");
    EXPECT_EQ(Compose("XY/\\\\x"), "C:\\OUT\\x");
}

TEST_F(OutputName, NoMixOfPiecesLeavesTheOutputPath)
{
    // Every name of up to four pieces, under every setting that shapes it.
    const std::vector<std::string> pieces = {"..", "\\", "/", "C:", ":", "a", "."};
    std::vector<std::string> names = {""};
    std::vector<std::string> level = {""};
    for (int round = 0; round < 4; ++round) {
        std::vector<std::string> longer;
        for (const std::string &name : level)
            for (const std::string &piece : pieces) longer.push_back(name + piece);
        names.insert(names.end(), longer.begin(), longer.end());
        level = std::move(longer);
    }
    for (const char *outputPath : {"C:\\OUT\\", ""}) {
        for (const char *relative : {"", "a", "a."}) {
            for (bool keep : {true, false}) {
                SetOutputPath(outputPath);
                SetRelativePath(relative);
                KeepDirectories(keep);
                for (const std::string &stored : names)
                    ASSERT_TRUE(Confined(Compose(stored), outputPath))
                        << "stored '" << stored << "', relative '" << relative << "', "
                        << (keep ? "on" : "off");
            }
        }
    }
}

}  // namespace
