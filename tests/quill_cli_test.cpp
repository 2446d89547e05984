// quill_cli_test.cpp - the quill command line: arguments, code page,
// messages, password answers and listing fields.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "quill/codepage.h"
#include "quill/command_line.h"
#include "quill/listing_format.h"
#include "quill/password_answers.h"
#include "quill/status_text.h"
#include "quillmark.h"

namespace {

using quill::Command;
using quill::ParseCommandLine;

TEST(QuillCommandLine, AcceptsListAndExtractWithOptionsAnywhere)
{
    struct Case {
        std::vector<std::string> args;
        Command command;
        std::string archive;
        std::vector<std::string> masks;
        std::string outputDir;
        bool keep, overwrite;
        std::string password;
    };
    const Case cases[] = {
        {{"l", "a.qm"}, Command::List, "a.qm", {}, "", false, false, ""},
        {{"l", "dir/a.qm", "*.TXT", "DOC\\*.*"}, Command::List, "dir\\a.qm", {"*.TXT", "DOC\\*.*"}, "", false, false, ""},
        {{"l", "-p", "secret", "a.qm"}, Command::List, "a.qm", {}, "", false, false, "secret"},
        {{"x", "a.qm", "-o", "out/sub", "-k", "-y", "-p", "pw", "*.WAV"}, Command::Extract, "a.qm", {"*.WAV"}, "out\\sub", true, true, "pw"},
        {{"x", "-k", "a.qm"}, Command::Extract, "a.qm", {}, "", true, false, ""},
        // After "--" a leading dash is part of a mask; a lone dash is never an option.
        {{"x", "a.qm", "--", "-k", "-o"}, Command::Extract, "a.qm", {"-k", "-o"}, "", false, false, ""},
        {{"l", "-"}, Command::List, "-", {}, "", false, false, ""},
        // The value of -p may itself look like an option.
        {{"x", "a.qm", "-p", "-y"}, Command::Extract, "a.qm", {}, "", false, false, "-y"},
        {{"x", "a.qm", "-o", "C:"}, Command::Extract, "a.qm", {}, "C:", false, false, ""},
    };
    for (const auto &c : cases) {
        const auto parsed = ParseCommandLine(c.args);
        SCOPED_TRACE(c.args.size() > 1 ? c.args[0] + " " + c.args[1] : c.args[0]);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        EXPECT_EQ(parsed.line.command, c.command);
        EXPECT_EQ(parsed.line.archive, c.archive);
        EXPECT_EQ(parsed.line.masks, c.masks);
        EXPECT_EQ(parsed.line.outputDir, c.outputDir);
        EXPECT_EQ(parsed.line.keepDirectories, c.keep);
        EXPECT_EQ(parsed.line.overwrite, c.overwrite);
        EXPECT_EQ(parsed.line.password, c.password);
    }
}

TEST(QuillCommandLine, HelpNeedsNoArchive)
{
    for (const char *word : {"-h", "--help", "help"}) {
        const auto parsed = ParseCommandLine({word});
        EXPECT_TRUE(parsed.ok) << word;
        EXPECT_EQ(parsed.line.command, Command::Help) << word;
    }
    EXPECT_NE(std::string(quill::UsageText()).find("quill x ARCHIVE"), std::string::npos);
}

TEST(QuillCommandLine, RejectsWhatTheLibraryCouldNotTake)
{
    const std::string long261(261, 'a');
    const std::string long255(255, 'd');
    const std::string long256(256, 'm');
    const std::string long250(250, 'p');
    struct Case {
        std::vector<std::string> args;
        const char *error;  // a piece of the message
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"t", "a.qm"}, "unknown command 't'"},
        {{"l"}, "no archive"},
        {{"x", "-k"}, "no archive"},
        {{"l", ""}, "archive path is empty"},
        {{"l", long261}, "longer than 260"},
        {{"l", "a.qm", long256}, "longer than 255"},
        {{"x", "a.qm", "-o"}, "-o needs a directory"},
        {{"x", "a.qm", "-o", ""}, "directory after -o is empty"},
        {{"x", "a.qm", "-o", long255}, "longer than 254"},
        {{"x", "a.qm", "-o", "a", "-o", "b"}, "-o given twice"},
        {{"x", "a.qm", "-p"}, "-p needs a password"},
        {{"x", "a.qm", "-p", long250}, "longer than 249"},
        {{"x", "a.qm", "-p", "a", "-p", "b"}, "-p given twice"},
        {{"x", "a.qm", "-q"}, "unknown option '-q'"},
        // Extraction options mean nothing to a listing.
        {{"l", "a.qm", "-o", "out"}, "unknown option '-o' for l"},
        {{"l", "a.qm", "-y"}, "unknown option '-y' for l"},
    };
    for (const auto &c : cases) {
        const auto parsed = ParseCommandLine(c.args);
        EXPECT_FALSE(parsed.ok) << c.error;
        EXPECT_NE(parsed.error.find(c.error), std::string::npos)
            << "expected '" << c.error << "' in '" << parsed.error << "'";
    }
    // The longest strings the library takes still pass.
    EXPECT_TRUE(ParseCommandLine({"x", std::string(260, 'a'), "-o", std::string(254, 'd'), "-p",
                                  std::string(249, 'p'), std::string(255, 'm')})
                    .ok);
}

TEST(QuillCodePage, PathsUseBackslashes)
{
    EXPECT_EQ(quill::ToLibraryPath("/work/shared/a.qm"), "\\work\\shared\\a.qm");
    EXPECT_EQ(quill::ToLibraryPath("out\\x/y"), "out\\x\\y");
    EXPECT_EQ(quill::ToLibraryText("DOC/*.*"), "DOC/*.*");  // masks keep their slashes
}

#ifndef _WIN32
TEST(QuillCodePage, Utf8ToWindows1252)
{
    struct Case {
        const char *utf8;
        std::optional<std::string> library;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt"},
        {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},        // été
        {"\xC3\x84\xC3\xB6", "\xC4\xF6"},          // Äö
        {"\xE2\x82\xAC", "\x80"},                  // the euro sign sits in the 0x80 row
        {"\xC5\xB8", "\x9F"},                      // Ÿ
        {"\xC2\xA0", "\xA0"},                      // no-break space
        {"\xCE\xA9", std::nullopt},                // Ω has no Windows-1252 form
        {"\xC2\x81", std::nullopt},                // U+0081: 0x81 is unassigned
        {"\xF0\x9F\x98\x80", std::nullopt},        // beyond the basic plane
        {"\xC3", std::nullopt},                    // cut short
        {"\xC3(", std::nullopt},                   // bad continuation
        {"\xC0\xAF", std::nullopt},                // an overlong slash
        {"\xE0\x80\xAF", std::nullopt},            // the same in three bytes
        {"\xED\xA0\x80", std::nullopt},            // a surrogate
        {"\xA9", std::nullopt},                    // a lone continuation byte
    };
    for (const auto &c : cases)
        EXPECT_EQ(quill::ToLibraryText(c.utf8), c.library) << c.utf8;
}

TEST(QuillCodePage, EveryAssignedByteSurvivesTheRoundTrip)
{
    const std::set<int> unassigned = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    for (int byte = 1; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const std::string shown = quill::FromLibraryText(one);
        if (unassigned.count(byte)) {
            EXPECT_EQ(shown, "\xEF\xBF\xBD") << byte;  // the replacement character
            continue;
        }
        EXPECT_EQ(quill::ToLibraryText(shown), one) << byte;
    }
    EXPECT_EQ(quill::FromLibraryPath("\\tmp\\out\\A.TXT"), "/tmp/out/A.TXT");
}
#endif

TEST(QuillStatusText, EveryCodeHasItsOwnMessage)
{
    const uint16_t codes[] = {QM_STATUS_OK,           QM_STATUS_NO_CARRIER,  QM_STATUS_CANNOT_OPEN,
                              QM_STATUS_OUT_OF_MEMORY, QM_STATUS_WRITE_FAILED, QM_STATUS_STOPPED,
                              QM_STATUS_EMPTY_LIST,   QM_STATUS_BAD_PASSWORD, QM_STATUS_CRC_MISMATCH,
                              QM_STATUS_BAD_HEADER,   QM_STATUS_NO_SIGNATURE, QM_STATUS_NOT_SUPPORTED};
    std::set<std::string> seen;
    for (const uint16_t code : codes) {
        const std::string text = quill::StatusText(code);
        EXPECT_EQ(text.find("unknown"), std::string::npos) << code;
        EXPECT_TRUE(seen.insert(text).second) << "message shared by " << code;
    }
    EXPECT_EQ(quill::StatusText(1234), "unknown status 1234");
    EXPECT_NE(quill::StatusText(QM_STATUS_BAD_PASSWORD).find("-p"), std::string::npos);
}

// One question and the answer expected to it.
struct Question {
    const char *name;
    int32_t kind;
    int32_t result;
};

void Ask(quill::PasswordAnswers &answers, const std::vector<Question> &questions,
         const std::string &password)
{
    int step = 0;
    for (const auto &q : questions) {
        char buffer[256] = {};
        const size_t capacity = q.kind == 1 ? 256 : 250;
        EXPECT_EQ(answers.Answer(buffer, capacity, q.name, q.kind), q.result)
            << "question " << step << " (" << q.name << ", kind " << q.kind << ")";
        if (q.result == 1)
            EXPECT_EQ(std::string(buffer), password) << "question " << step;
        else
            EXPECT_FALSE(answers.refusal().empty()) << "question " << step;
        ++step;
    }
}

TEST(QuillPasswordAnswers, StopsAnsweringWhenAnAnswerDidNotHelp)
{
    struct Case {
        const char *what;
        std::string password;
        std::vector<Question> questions;
    };
    const Case cases[] = {
        {"header password given: the first question is answered, a repeat declined",
         "pw", {{"a.qm", 1, 1}, {"a.qm", 1, 0}}},
        {"no header password: declined at once", "", {{"a.qm", 1, 0}}},
        {"data password given: answered once per entry, the repeat after a CRC miss declined",
         "pw", {{"A.TXT", 0, 1}, {"B.TXT", 0, 1}, {"B.TXT", 0, 0}}},
        {"no data password: plain entries get the empty one, one after another",
         "", {{"A.TXT", 0, 1}, {"B.TXT", 0, 1}, {"C.TXT", 0, 1}, {"A.TXT", 0, 1}}},
        {"no data password: an enciphered entry is asked for twice, then declined",
         "", {{"SECRET", 0, 1}, {"SECRET", 0, 1}, {"SECRET", 0, 0}}},
        {"another name in between starts the count again",
         "", {{"A", 0, 1}, {"A", 0, 1}, {"B", 0, 1}, {"A", 0, 1}, {"A", 0, 1}}},
        {"a kind the library does not use is declined", "pw", {{"A", 7, 0}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        quill::PasswordAnswers answers(c.password);
        Ask(answers, c.questions, c.password);
    }
}

TEST(QuillPasswordAnswers, NeverWritesPastTheBuffer)
{
    quill::PasswordAnswers answers(std::string(249, 'p'));
    char buffer[251];
    std::memset(buffer, 'X', sizeof buffer);
    buffer[249] = 0;
    EXPECT_EQ(answers.Answer(buffer, 250, "A", 0), 1);
    EXPECT_EQ(buffer[249], 0);
    EXPECT_EQ(buffer[250], 'X');
    // Too little room: declined, nothing written.
    quill::PasswordAnswers longer(std::string(10, 'p'));
    char small[4] = {'a', 'b', 'c', 0};
    EXPECT_EQ(longer.Answer(small, sizeof small, "A", 0), 0);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(longer.Answer(nullptr, 250, "B", 0), 0);
}

TEST(QuillListingFormat, Fields)
{
    EXPECT_EQ(quill::FormatDosDateTime(0x546a584a), "2022-03-10 11:02:20");
    EXPECT_EQ(quill::FormatDosDateTime(0x00210000), "1980-01-01 00:00:00");
    EXPECT_EQ(quill::FormatDosDateTime(0xFFFFFFFF), "2107-15-31 31:63:62");  // shown as stored
    EXPECT_EQ(quill::FormatAttributes(0x20), "....A");
    EXPECT_EQ(quill::FormatAttributes(0x37), "RHSDA");
    EXPECT_EQ(quill::FormatAttributes(0x80), ".....");
    EXPECT_EQ(quill::Ratio(42551, 56464), 75);
    EXPECT_EQ(quill::Ratio(107, 107), 100);
    EXPECT_EQ(quill::Ratio(5, 0), 0);
}

}  // namespace
