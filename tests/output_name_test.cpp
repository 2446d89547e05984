// Output names: the stored name, the keep-directories option, the relative
// path and the output path; and that no stored name leaves the output path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "path_settings_guard.h"
#include "paths/output_name.h"
#include "paths/windows_names.h"
#include "quillmark.h"

namespace {

// The name expected on Windows, or the one expected elsewhere.
constexpr const char *OnWindows([[maybe_unused]] const char *windows, [[maybe_unused]] const char *other)
{
#ifdef _WIN32
    return windows;
#else
    return other;
#endif
}

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
        const char *result = qm::ComposeOutputName(S(), stored.c_str(), out);
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
    EXPECT_EQ(qm::ComposeOutputName(S(), unterminated.data(), out), nullptr);
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
        // Names that only look like parents are kept (Windows drops the
        // full stops at the end of a component).
        {"...\\x", OnWindows("x", "...\\x"), "x"},
        {"..a\\b..", OnWindows("..a\\b", "..a\\b.."), OnWindows("b", "b..")},
        {".\\x", OnWindows("x", ".\\x"), "x"},
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
    const std::vector<std::string> pieces = {"..", "\\", "/", "C:", ":", "a", ".", " "};
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
                for (const std::string &stored : names) {
                    // On Windows a file name of full stops only is refused:
                    // nothing is written, which is confined too.
                    const std::string name = Compose(stored);
                    if (name == "<refused>" && OnWindows("win", nullptr))
                        continue;
                    ASSERT_TRUE(Confined(name, outputPath))
                        << "stored '" << stored << "', relative '" << relative << "', "
                        << (keep ? "on" : "off");
                }
            }
        }
    }
}

// Stored names that mean something else on Windows, and the names they are
// given there ("<refused>": the entry gets no name).  Elsewhere every name
// stays as stored.
const struct {
    const char *stored, *windows;
} kWindowsNames[] = {
    // Devices, in any case, with or without an extension, as directories too.
    {"CON", "_CON"},
    {"con.txt", "_con.txt"},
    {"Dir\\Aux.tar.gz", "Dir\\_Aux.tar.gz"},
    {"nUl", "_nUl"},
    {"PRN.", "_PRN"},
    {"COM1", "_COM1"},
    {"lpt9.log", "_lpt9.log"},
    {"COM0", "_COM0"},
    {"LPT\xB9", "_LPT\xB9"},
    {"CONIN$", "_CONIN$"},
    {"conout$.x", "_conout$.x"},
    {"AUX .txt", "_AUX .txt"},
    {"CON\\NUL\\file", "_CON\\_NUL\\file"},
    // Names that only resemble devices.
    {"CONSOLE", "CONSOLE"},
    {"COM10", "COM10"},
    {"LPT", "LPT"},
    {"xNUL", "xNUL"},
    {" CON", " CON"},
    {"NUL_.txt", "NUL_.txt"},
    // Full stops and spaces at the end of a component.
    {"a.", "a"},
    {"b . .", "b"},
    {"a.b.", "a.b"},
    {"d. \\x", "d\\x"},
    {"...\\x", "x"},
    {"x\\ y", "x\\ y"},
    {"x\\...", "<refused>"},
    {" ", "<refused>"},
    {"NUL.\\.", "<refused>"},
    // Empty directory components go too, and can leave no root behind.
    {"a\\\\b", "a\\b"},
    {".\\\\x", "x"},
    {"x\\", "x\\"},
};

// Each step can expose work for the other: on Windows these end confined.
TEST_F(OutputName, WindowsStepsAndConfinementRunUntilTheNameStays)
{
    KeepDirectories(true);
    SetOutputPath("C:\\OUT\\");
    EXPECT_EQ(Compose(".\\C:x"), OnWindows("C:\\OUT\\x", "C:\\OUT\\.\\C:x"));
    EXPECT_EQ(Compose(". \\C:CON.txt"), OnWindows("C:\\OUT\\_CON.txt", "C:\\OUT\\. \\C:CON.txt"));
    EXPECT_EQ(Compose("...\\..\\C:..\\\\x"), OnWindows("C:\\OUT\\x", "C:\\OUT\\...\\C:..\\\\x"));
}

TEST(WindowsNames, DevicesAndTrailingFullStopsAndSpaces)
{
    for (const auto &row : kWindowsNames) {
        char name[qm::kOutputNameSize];
        std::strcpy(name, row.stored);
        const bool kept = qm::MakeWindowsSafeName(name, sizeof name);
        EXPECT_EQ(kept ? std::string(name) : "<refused>", row.windows) << row.stored;
        if (!kept) {
            EXPECT_STREQ(name, row.stored) << "a refused name is left as it was";
        }
    }

    // The underscores must fit: eleven devices of 43 characters need 55
    // bytes with the NUL.
    std::string devices = "CON";
    for (int i = 0; i < 10; ++i)
        devices += "\\CON";
    std::string safe = "_CON";
    for (int i = 0; i < 10; ++i)
        safe += "\\_CON";
    char name[64];
    std::strcpy(name, devices.c_str());
    EXPECT_FALSE(qm::MakeWindowsSafeName(name, 54));
    EXPECT_EQ(name, devices);
    EXPECT_TRUE(qm::MakeWindowsSafeName(name, 55));
    EXPECT_EQ(name, safe);
}

TEST_F(OutputName, WindowsNamesOnlyOnWindows)
{
    KeepDirectories(true);
    SetOutputPath("C:\\OUT\\");
    for (const auto &row : kWindowsNames) {
        const std::string windows =
            std::strcmp(row.windows, "<refused>") == 0 ? row.windows : std::string("C:\\OUT\\") + row.windows;
        EXPECT_EQ(Compose(row.stored), OnWindows(windows.c_str(), (std::string("C:\\OUT\\") + row.stored).c_str()))
            << row.stored;
    }
    // The underscores count against the 255 characters of a name.
    SetOutputPath("");
    std::string devices = "CON";
    while (devices.size() < 255)
        devices += "\\CON";
    ASSERT_EQ(devices.size(), 255u);
    EXPECT_EQ(Compose(devices), OnWindows("<refused>", devices.c_str()));
}

}  // namespace
