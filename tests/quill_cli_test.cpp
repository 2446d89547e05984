// quill_cli_test.cpp - the quill command line: arguments, code page,
// messages, password answers and listing fields.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "quill/codepage.h"
#include "quill/command_line.h"
#include "quill/failure_messages.h"
#include "quill/json_listing.h"
#include "quill/listing_format.h"
#include "quill/mask_selection.h"
#include "quill/password_answers.h"
#include "quill/progress_display.h"
#include "quill/reader_failures.h"
#include "quill/replace_answers.h"
#include "quill/status_text.h"
#include "quill_scripted_console.h"
#include "quillmark.h"
#include "quillmark_reader.h"

namespace {

using quill::Command;
using quill::ParseCommandLine;

TEST(QuillCommandLine, AcceptsEveryCommandWithOptionsAnywhere)
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
        {{"t", "a.qm", "*.WAV"}, Command::Test, "a.qm", {"*.WAV"}, "", false, false, ""},
        // x keeps the stored folders, with or without -k; e extracts flat.
        {{"x", "a.qm", "-o", "out/sub", "-k", "-y", "-p", "pw", "*.WAV"}, Command::Extract, "a.qm", {"*.WAV"}, "out\\sub", true, true, "pw"},
        {{"x", "-k", "a.qm"}, Command::Extract, "a.qm", {}, "", true, false, ""},
        {{"x", "a.qm"}, Command::Extract, "a.qm", {}, "", true, false, ""},
        {{"e", "a.qm", "-y", "*.WAV"}, Command::Extract, "a.qm", {"*.WAV"}, "", false, true, ""},
        // After "--" a leading dash is part of a mask; a lone dash is never an option.
        {{"x", "a.qm", "--", "-k", "-o"}, Command::Extract, "a.qm", {"-k", "-o"}, "", true, false, ""},
        {{"l", "-"}, Command::List, "-", {}, "", false, false, ""},
        // The value of -p may itself look like an option.
        {{"x", "a.qm", "-p", "-y"}, Command::Extract, "a.qm", {}, "", true, false, "-y"},
        {{"x", "a.qm", "-o", "C:"}, Command::Extract, "a.qm", {}, "C:", true, false, ""},
        // getopt's forms: bundled letters, a value glued to its letter or after '='.
        {{"e", "-qyoout", "a.qm"}, Command::Extract, "a.qm", {}, "out", false, true, ""},
        {{"x", "a.qm", "-ypsecret", "--output=out/x"}, Command::Extract, "a.qm", {}, "out\\x", true, true, "secret"},
        {{"t", "--password=a=b", "a.qm"}, Command::Test, "a.qm", {}, "", false, false, "a=b"},
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
        EXPECT_EQ(parsed.line.passwordGiven, !c.password.empty());
    }
}

TEST(QuillCommandLine, NewerOptions)
{
    auto parsed = ParseCommandLine({"x", "a.qm", "-n", "-q", "--relative", "DOC/SUB/", "-H", "hp"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.line.neverOverwrite);
    EXPECT_TRUE(parsed.line.quiet);
    EXPECT_EQ(parsed.line.relativePath, "DOC\\SUB");  // separators turned, the trailing one dropped
    EXPECT_TRUE(parsed.line.keepDirectories);         // --relative keeps the directories below it
    EXPECT_EQ(parsed.line.headerPassword, "hp");
    EXPECT_TRUE(parsed.line.headerPasswordGiven);
    EXPECT_FALSE(parsed.line.passwordGiven);

    parsed = ParseCommandLine({"l", "--json", "--header-password", "", "a.qm"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.line.json);
    EXPECT_TRUE(parsed.line.headerPasswordGiven);  // an empty password is a password
    EXPECT_EQ(parsed.line.headerPassword, "");

    parsed = ParseCommandLine({"t", "-q", "-p", "", "a.qm"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.line.quiet);
    EXPECT_TRUE(parsed.line.passwordGiven);

    parsed = ParseCommandLine({"x", "--relative=DOC", "--header-password=", "a.qm"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.line.relativePath, "DOC");
    EXPECT_TRUE(parsed.line.headerPasswordGiven);
    EXPECT_EQ(parsed.line.headerPassword, "");
}

TEST(QuillCommandLine, HelpAndVersionNeedNoArchive)
{
    for (const char *word : {"-h", "--help", "help"}) {
        const auto parsed = ParseCommandLine({word});
        EXPECT_TRUE(parsed.ok) << word;
        EXPECT_EQ(parsed.line.command, Command::Help) << word;
    }
    EXPECT_EQ(ParseCommandLine({"x", "--help"}).line.command, Command::Help);
    EXPECT_EQ(ParseCommandLine({"--version"}).line.command, Command::Version);
    EXPECT_TRUE(ParseCommandLine({"--version"}).ok);
    const std::string usage = quill::UsageText();
    for (const char *piece : {"quill x ", "quill e ", "quill t ", "--json", "--relative", "-H PASSWORD", "*.wav finds SOUND\\BOAT.WAV", "bundled (-qy)", "Exit codes"})
        EXPECT_NE(usage.find(piece), std::string::npos) << piece;
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
        {{"v", "a.qm"}, "unknown command 'v'"},
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
        {{"x", "a.qm", "-H", long256}, "longer than 255"},
        {{"x", "a.qm", "-H", "a", "--header-password", "b"}, "given twice"},
        {{"x", "a.qm", "--header-password"}, "--header-password needs a password"},
        {{"x", "a.qm", "-y", "-n"}, "-y and -n exclude each other"},
        {{"x", "a.qm", "-n", "-y"}, "-y and -n exclude each other"},
        {{"x", "a.qm", "--relative", "/"}, "path after --relative is empty"},
        {{"x", "a.qm", "--json"}, "unknown option '--json'"},
        // Extraction options mean nothing to a listing or a test.
        {{"l", "a.qm", "-o", "out"}, "unknown option '-o' for l"},
        {{"l", "a.qm", "-y"}, "unknown option '-y' for l"},
        {{"l", "a.qm", "-q"}, "unknown option '-q' for l"},
        {{"t", "a.qm", "-n"}, "unknown option '-n' for t"},
        {{"l", "a.qm", "-qy"}, "unknown option '-q' for l"},
        {{"t", "a.qm", "-qy"}, "unknown option '-y' for t"},
        // e has no stored folders to keep.
        {{"e", "a.qm", "-k"}, "unknown option '-k' for e"},
        {{"e", "a.qm", "--relative", "DOC"}, "unknown option '--relative' for e"},
        {{"x", "a.qm", "--json=yes"}, "unknown option '--json' for x"},
        {{"l", "a.qm", "--json=yes"}, "--json takes no value"},
        {{"x", "a.qm", "-yp"}, "-p needs a password"},
        {{"x", "a.qm", "--output"}, "--output needs a directory"},
        {{"x", "a.qm", "--output=a", "-o", "b"}, "-o given twice"},
        {{"x", "a.qm", "--colour"}, "unknown option '--colour' for x"},
    };
    for (const auto &c : cases) {
        const auto parsed = ParseCommandLine(c.args);
        EXPECT_FALSE(parsed.ok) << c.error;
        EXPECT_NE(parsed.error.find(c.error), std::string::npos)
            << "expected '" << c.error << "' in '" << parsed.error << "'";
    }
    // The longest strings the library takes still pass.
    EXPECT_TRUE(ParseCommandLine({"x", std::string(260, 'a'), "-o", std::string(254, 'd'), "-p",
                                  std::string(249, 'p'), "-H", std::string(255, 'h'),
                                  std::string(255, 'm')})
                    .ok);
}

TEST(QuillMasks, WhatAUnixUserTypes)
{
    struct Case {
        const char *mask;
        const char *name;
        bool matches;
    };
    const Case cases[] = {
        // No separator: the last part of the name, at any level.
        {"*", "SOUND\\BOAT.WAV", true},
        {"*", "LICENSE.txt", true},
        {"*.wav", "SOUND\\BOAT.WAV", true},
        {"boat.*", "SOUND\\BOAT.WAV", true},
        {"*.wav", "SOUND.WAV\\README", false},
        {"sound", "SOUND\\BOAT.WAV", false},
        {"????.WAV", "SOUND\\BOAT.WAV", true},
        {"???.WAV", "SOUND\\BOAT.WAV", false},
        {"*.tar.*", "A\\B.TAR.GZ", true},
        {"*a*a*a*", "A\\BANANA", true},  // backtracking
        {"*a*a*a*a", "A\\BANANA", false},
        {"README", "README", true},
        {"READM", "README", false},
        // With a separator, either one: the whole name, '*' crossing folders.
        {"sound/*", "SOUND\\BOAT.WAV", true},
        {"sound\\*.wav", "SOUND\\DEEP\\BOAT.WAV", true},
        {"*/boat.wav", "SOUND\\DEEP\\BOAT.WAV", true},
        {"deep/*", "SOUND\\DEEP\\BOAT.WAV", false},
        {"/sound/boat.wav", "\\SOUND\\BOAT.WAV", true},  // leading separators count on neither side
        {"sound/boat.wav", "SOUND/BOAT.WAV", true},
        // Case is ignored for the letters of Windows-1252 too.
        {"\xE9t\xE9.txt", "\xC9T\xC9.TXT", true},  // été, ÉTÉ
        {"\x9A*", "\x8AKODA", true},                 // š, Š
        {"\xF7", "\xD7", false},                     // ÷ and × are not letters
    };
    for (const Case &c : cases)
        EXPECT_EQ(quill::MaskMatches(c.mask, c.name), c.matches) << c.mask << " on " << c.name;
}

TEST(QuillMasks, SelectionNamesUnmatchedMasksAndGivesTheLibraryExactNames)
{
    auto entry = [](const char *name) { return quill::Entry{name, 0, 0, 0, 0x20, -1}; };
    const std::vector<quill::Entry> all = {entry("SOUND\\BOAT.WAV"), entry("LICENSE.txt"),
                                           entry("DOC\\A.TXT"), entry(std::string(256, 'L').c_str())};
    auto s = quill::SelectEntries(all, {"*.txt", "*.zip", "*.TXT", "nothing"});
    ASSERT_EQ(s.entries.size(), 2u);
    EXPECT_EQ(s.entries[0].name, "LICENSE.txt");
    EXPECT_EQ(s.unmatched, (std::vector<std::string>{"*.zip", "nothing"}));
    EXPECT_EQ(s.libraryMasks, (std::vector<std::string>{"LICENSE.txt", "DOC\\A.TXT"}));

    // Every entry chosen: no library mask at all, so nothing is left out.
    s = quill::SelectEntries(all, {});
    EXPECT_EQ(s.entries.size(), 4u);
    EXPECT_TRUE(s.libraryMasks.empty());
    // A name too long to be a library mask can only come with every entry.
    s = quill::SelectEntries(all, {"L*"});
    ASSERT_EQ(s.entries.size(), 1u);
    EXPECT_EQ(s.libraryMasks, std::vector<std::string>{"LICENSE.txt"});
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

// One password question and the answer expected to it.
struct Question {
    int32_t kind;          // 1 header, 0 data
    const char *name;      // data: the entry
    int32_t method;        // data: the entry's cipher method
    int index;             // data: the entry's place in the run
    bool afterMismatch;    // data: asked after a CRC mismatch
    int32_t result;
    const char *answer;    // what the buffer holds when the result is 1
};

using Refusal = quill::PasswordAnswers::Refusal;

TEST(QuillPasswordAnswers, AskAtMostThreeTimesAndNeverWithoutATerminal)
{
    struct Case {
        const char *what;
        bool terminal;
        std::vector<std::string> typed;
        const char *password;        // -p, or null
        const char *headerPassword;  // -H, or null
        bool opened;                 // the archive is open: header questions mean damage
        std::vector<Question> questions;
        Refusal refusal;
        size_t prompts;
        const char *complaint;       // a piece of err, or ""
    };
    const Case cases[] = {
        {"-H wrong: declined, never prompted", true, {"x"}, nullptr, "hp", false,
         {{1, "", 0, 0, false, 0, ""}}, Refusal::HeaderWrong, 0, ""},
        {"no -H, no terminal", false, {}, nullptr, nullptr, false,
         {{1, "", 0, 0, false, 0, ""}}, Refusal::HeaderNeeded, 0, ""},
        {"header typed three times, then given up", true, {"a", "b", "c", "d"}, nullptr, nullptr, false,
         {{1, "", 0, 0, false, 1, "a"}, {1, "", 0, 0, false, 1, "b"}, {1, "", 0, 0, false, 1, "c"},
          {1, "", 0, 0, false, 0, ""}},
         Refusal::HeaderWrong, 3, "a.qm: wrong header password"},
        {"-p is tried once for the headers, then no terminal", false, {}, "pw", nullptr, false,
         {{1, "", 0, 0, false, 1, "pw"}, {1, "", 0, 0, false, 0, ""}}, Refusal::HeaderNeeded, 0, ""},
        {"-p is tried once for the headers, then asked", true, {"hp"}, "pw", nullptr, false,
         {{1, "", 0, 0, false, 1, "pw"}, {1, "", 0, 0, false, 1, "hp"}}, Refusal::None, 1, ""},
        {"-H given: -p is not tried for the headers", false, {}, "pw", "hp", false,
         {{1, "", 0, 0, false, 0, ""}}, Refusal::HeaderWrong, 0, ""},
        {"an empty header answer gives up", true, {""}, nullptr, nullptr, false,
         {{1, "", 0, 0, false, 0, ""}}, Refusal::HeaderNotGiven, 1, ""},
        {"a header question after the open means a damaged block", true, {"a"}, nullptr, nullptr, true,
         {{1, "", 0, 0, false, 0, ""}}, Refusal::HeaderBlockBroken, 0, ""},
        {"plain and chaining-value entries need no password", false, {}, nullptr, nullptr, true,
         {{0, "A", -1, 0, false, 1, ""}, {0, "B", 2, 1, false, 1, ""}}, Refusal::None, 0, ""},
        {"enciphered entry, no -p, no terminal", false, {}, nullptr, nullptr, true,
         {{0, "A", 0, 0, false, 0, ""}}, Refusal::DataNeeded, 0, ""},
        {"typed data password, wrong twice, right the third time", true, {"p1", "p2", "p3"}, nullptr, nullptr, true,
         {{0, "A", 1, 0, false, 1, "p1"}, {0, "A", 1, 0, true, 1, "p2"}, {0, "A", 1, 0, true, 1, "p3"}},
         Refusal::None, 3, "a.qm: wrong password for A"},
        {"three wrong typed passwords: given up", true, {"p1", "p2", "p3", "p4"}, nullptr, nullptr, true,
         {{0, "A", 0, 0, false, 1, "p1"}, {0, "A", 0, 0, true, 1, "p2"}, {0, "A", 0, 0, true, 1, "p3"},
          {0, "A", 0, 0, true, 0, ""}},
         Refusal::DataWrong, 3, ""},
        {"a typed password that does not fit the next entry", true, {"p1", "p2"}, nullptr, nullptr, true,
         {{0, "A", 0, 0, false, 1, "p1"}, {0, "B", 0, 1, true, 1, "p2"}},
         Refusal::None, 2, "a.qm: the password does not fit B"},
        {"-p wrong: final", true, {"x"}, "pw", nullptr, true,
         {{0, "A", 0, 0, true, 0, ""}}, Refusal::DataWrong, 0, ""},
        {"-p answers the question before an entry", false, {}, "pw", nullptr, true,
         {{0, "A", 0, 0, false, 1, "pw"}}, Refusal::None, 0, ""},
        {"a chaining-value entry that does not match is damaged", true, {"x"}, nullptr, nullptr, true,
         {{0, "A", 2, 0, true, 0, ""}}, Refusal::DataDamaged, 0, ""},
        {"an empty data answer gives up", true, {""}, nullptr, nullptr, true,
         {{0, "A", 0, 0, false, 0, ""}}, Refusal::DataNotGiven, 1, ""},
#ifndef _WIN32  // on Windows the terminal already answers in the ANSI code page
        {"a password outside Windows-1252 is asked again", true, {"\xCE\xA9", "ok"}, nullptr, nullptr, true,
         {{0, "A", 0, 0, false, 1, "ok"}}, Refusal::None, 2, "outside Windows-1252"},
#endif
        {"too long for the buffer is asked again", true, {std::string(250, 'p'), "ok"}, nullptr, nullptr, true,
         {{0, "A", 0, 0, false, 1, "ok"}}, Refusal::None, 2, "longer than 249"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        qmtest::ScriptedConsole console(c.terminal, c.typed);
        quill::Display display(console, false);
        quill::CommandLine line;
        line.archive = "a.qm";
        if (c.password) {
            line.password = c.password;
            line.passwordGiven = true;
        }
        if (c.headerPassword) {
            line.headerPassword = c.headerPassword;
            line.headerPasswordGiven = true;
        }
        quill::PasswordAnswers answers(console, display, line);
        if (c.opened)
            answers.ArchiveOpened();
        int step = 0;
        for (const auto &q : c.questions) {
            char buffer[256] = {};
            const int32_t result =
                q.kind == 1 ? answers.AnswerHeader(buffer, 256)
                            : answers.AnswerData(buffer, 250, q.name, q.method, q.index, q.afterMismatch);
            EXPECT_EQ(result, q.result) << "question " << step;
            if (q.result == 1) {
                EXPECT_STREQ(buffer, q.answer) << "question " << step;
            }
            ++step;
        }
        EXPECT_EQ(answers.refusal(), c.refusal);
        EXPECT_EQ(console.prompts.size(), c.prompts);
        for (const bool secret : console.secrets)
            EXPECT_TRUE(secret);  // passwords are never echoed
        EXPECT_NE(console.Err().find(c.complaint), std::string::npos) << console.Err();
    }
}

TEST(QuillPasswordAnswers, PromptsNameTheArchiveOrTheEntry)
{
    qmtest::ScriptedConsole console(true, {"h", "d"});
    quill::Display display(console, false);
    quill::CommandLine line;
    line.archive = "dir\\a.qm";
    quill::PasswordAnswers answers(console, display, line);
    char buffer[256] = {};
    answers.AnswerHeader(buffer, 256);
    answers.ArchiveOpened();
    answers.AnswerData(buffer, 250, "DOC\\\xE9t\xE9.TXT", 0, 0, false);
    ASSERT_EQ(console.prompts.size(), 2u);
    EXPECT_NE(console.prompts[0].find("Header password for dir"), std::string::npos) << console.prompts[0];
    EXPECT_NE(console.prompts[0].find("a.qm"), std::string::npos);
#ifdef _WIN32
    EXPECT_EQ(console.prompts[1], "Password for DOC\\\xE9t\xE9.TXT: ");  // the ANSI code page as it is
#else
    EXPECT_EQ(console.prompts[1], "Password for DOC\\\xC3\xA9t\xC3\xA9.TXT: ");  // shown in UTF-8
#endif
}

TEST(QuillPasswordAnswers, StopAtThePrompt)
{
    qmtest::ScriptedConsole console(true);  // no answer: end of input
    console.stop = true;
    quill::Display display(console, false);
    quill::CommandLine line;
    quill::PasswordAnswers answers(console, display, line);
    char buffer[256] = {};
    EXPECT_EQ(answers.AnswerData(buffer, 250, "A", 0, 0, false), 0);
    EXPECT_EQ(answers.refusal(), Refusal::Stopped);
}

TEST(QuillReplaceAnswers, TypedAnswers)
{
    using Typed = quill::ReplaceAnswers::Typed;
    const std::pair<const char *, std::optional<Typed>> cases[] = {
        {"y", Typed::Yes},   {"YES", Typed::Yes}, {" yes ", Typed::Yes}, {"n", Typed::No},
        {"no", Typed::No},   {"a", Typed::All},   {"A", Typed::All},     {"All", Typed::All},
        {"N", Typed::None},  {"none", Typed::None}, {"q", Typed::Quit},  {"quit", Typed::Quit},
        {"", std::nullopt},  {"yn", std::nullopt}, {"x", std::nullopt},
    };
    for (const auto &[typed, expected] : cases)
        EXPECT_EQ(quill::ReplaceAnswers::Parse(typed), expected) << "'" << typed << "'";
}

TEST(QuillReplaceAnswers, StandingAnswersAndQuestions)
{
    using R = quill::ReplaceAnswers;
    struct Case {
        const char *what;
        bool terminal, yes, no;
        std::vector<std::string> typed;
        std::vector<int32_t> answers;  // to successive existing files
        int skipped;
        size_t prompts;
    };
    const Case cases[] = {
        {"no terminal: always skip", false, false, false, {}, {R::kSkip, R::kSkip}, 2, 0},
        {"-y: overwrite", true, true, false, {}, {R::kOverwrite, R::kOverwrite}, 0, 0},
        {"-n: skip, even on a terminal", true, false, true, {}, {R::kSkip, R::kSkip}, 2, 0},
        {"yes, then no", true, false, false, {"y", "n"}, {R::kOverwrite, R::kSkip}, 1, 2},
        {"an answer not understood is asked again", true, false, false, {"maybe", "y"}, {R::kOverwrite}, 0, 2},
        {"all stands for the rest", true, false, false, {"A"}, {R::kOverwrite, R::kOverwrite, R::kOverwrite}, 0, 1},
        {"none stands for the rest", true, false, false, {"N"}, {R::kSkip, R::kSkip}, 2, 1},
        {"quit stops", true, false, false, {"q"}, {R::kStop}, 0, 1},
        {"end of input stops", true, false, false, {}, {R::kStop}, 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        qmtest::ScriptedConsole console(c.terminal, c.typed);
        quill::Display display(console, false);
        quill::CommandLine line;
        line.overwrite = c.yes;
        line.neverOverwrite = c.no;
        quill::ReplaceAnswers replace(console, display, line);
        for (const int32_t expected : c.answers)
            EXPECT_EQ(replace.Answer("out/A.TXT", "3 B", "6 B"), expected);
        EXPECT_EQ(replace.skipped(), c.skipped);
        EXPECT_EQ(console.prompts.size(), c.prompts);
    }
    // The question names the file and both versions.
    qmtest::ScriptedConsole console(true, {"y"});
    quill::Display display(console, false);
    quill::ReplaceAnswers replace(console, display, quill::CommandLine{});
    replace.Answer("out/A.TXT", "3 B, 2020-01-01 10:00:00", "6 B, 2022-03-10 11:02:20");
    ASSERT_EQ(console.prompts.size(), 1u);
    for (const char *piece : {"File exists: out/A.TXT\n", "on disk:    3 B, 2020", "in archive: 6 B, 2022",
                              "Replace it? [y]es, [n]o, [A]ll, [N]one, [q]uit: "})
        EXPECT_NE(console.prompts[0].find(piece), std::string::npos) << piece;
    EXPECT_FALSE(console.secrets[0]);
}

TEST(QuillProgress, LineShowsEntryPercentBytesAndRate)
{
    EXPECT_EQ(quill::Display::Bytes(0), "0 B");
    EXPECT_EQ(quill::Display::Bytes(1023), "1023 B");
    EXPECT_EQ(quill::Display::Bytes(1536), "1.5 KiB");
    EXPECT_EQ(quill::Display::Bytes(3 * 1048576), "3.0 MiB");
    EXPECT_EQ(quill::Display::Format("DOC\\A.TXT", 45, 1536, 3 * 1048576, 2.0, 80),
              "DOC\\A.TXT   45%  1.5 KiB of 3.0 MiB  768 B/s");
    // No rate before there is time to measure it.
    EXPECT_EQ(quill::Display::Format("A", 0, 0, 10, 0.0, 80), "A    0%  0 B of 10 B");
    // A narrow terminal keeps the numbers and the end of the name.
    const std::string narrow =
        quill::Display::Format("VERY\\LONG\\DIRECTORY\\NAME.TXT", 100, 10, 10, 1.0, 40);
    EXPECT_EQ(narrow, "...NAME.TXT  100%  10 B of 10 B  10 B/s");
    EXPECT_EQ(narrow.size(), 39u);
    // Names are cut at character boundaries (UTF-8).
    const std::string cut = quill::Display::Format("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 1, 1, 1, 1.0, 30);
    EXPECT_EQ(cut.substr(0, 7), "...\xC3\xA9  ");
}

TEST(QuillProgress, RedrawnAtMostFiveTimesASecondAndWipedBeforeOtherLines)
{
    qmtest::ScriptedConsole console(true);
    {
        quill::Display display(console, false);
        display.Start(1000);
        // A report every 10 ms for two seconds.
        for (int i = 0; i < 200; ++i) {
            display.Update("A", i / 2, i);
            console.now += std::chrono::milliseconds(10);
        }
        EXPECT_EQ(display.drawings(), 10);
        display.Out("next line");
        const std::string err = console.Err();
        EXPECT_EQ(err.back(), '\r');  // the line was wiped before "next line"
        EXPECT_EQ(console.Out(), "next line\n");
    }
    // Quiet, or not a terminal: nothing drawn.
    for (const bool terminal : {false, true}) {
        qmtest::ScriptedConsole other(terminal);
        quill::Display display(other, terminal);  // quiet exactly when a terminal
        display.Start(10);
        display.Update("A", 50, 5);
        display.Out("line");
        EXPECT_EQ(display.drawings(), 0);
        EXPECT_EQ(other.Err(), "");
    }
}

TEST(QuillJson, StringsAndTimes)
{
    EXPECT_EQ(quill::JsonString("DOC\\A \"B\"\n\x01\x7F\xC3\xA9"), "\"DOC\\\\A \\\"B\\\"\\n\\u0001\\u007f\xC3\xA9\"");
    EXPECT_EQ(quill::IsoDateTime(0x546a584a), "2022-03-10T11:02:20");
    EXPECT_EQ(quill::IsoDateTime(0x00210000), "1980-01-01T00:00:00");
    EXPECT_EQ(quill::IsoDateTime((((2000 - 1980) << 9) | (2 << 5) | 29) << 16), "2000-02-29T00:00:00");
    const uint32_t impossible[] = {
        0xFFFFFFFF,                                        // month 15
        0x00000000,                                        // month 0, day 0
        (((2001 - 1980) << 9) | (2 << 5) | 29) << 16 | 0,  // no leap year
        0x00210000 | (24 << 11),                           // hour 24
        0x00210000 | 30,                                   // second 60
    };
    for (const uint32_t value : impossible)
        EXPECT_EQ(quill::IsoDateTime(value), std::nullopt) << std::hex << value;
}

TEST(QuillFailures, EachKindHasItsExitCodeAndNamesTheEntry)
{
    using quill::Phase;
    struct Case {
        uint16_t status;
        Phase phase;
        Refusal refusal;
        int exitCode;
        const char *text;
    };
    const Case cases[] = {
        {QM_STATUS_NO_CARRIER, Phase::Open, Refusal::None, 3, "no such file"},
        {QM_STATUS_NO_SIGNATURE, Phase::Open, Refusal::None, 3, "not an archive: no signature in the first 81,920 bytes"},
        {QM_STATUS_CANNOT_OPEN, Phase::Open, Refusal::None, 3, "the archive file cannot be opened"},
        {QM_STATUS_BAD_PASSWORD, Phase::Open, Refusal::HeaderWrong, 5, "wrong header password"},
        {QM_STATUS_BAD_PASSWORD, Phase::Open, Refusal::HeaderNeeded, 5, "give the header password with -H"},
        {QM_STATUS_BAD_PASSWORD, Phase::Open, Refusal::None, 5, "header password (-H) is missing or wrong"},
        {QM_STATUS_BAD_PASSWORD, Phase::Walk, Refusal::HeaderBlockBroken, 4, "the archive is damaged"},
        {QM_STATUS_BAD_HEADER, Phase::Walk, Refusal::None, 4, "the archive is damaged: a header block is not valid"},
        {QM_STATUS_EMPTY_LIST, Phase::Walk, Refusal::None, 8, "no entry could be read"},
        {QM_STATUS_BAD_PASSWORD, Phase::Run, Refusal::DataWrong, 5, "wrong password for DOC\\A.TXT"},
        {QM_STATUS_BAD_PASSWORD, Phase::Run, Refusal::DataNeeded, 5, "DOC\\A.TXT is enciphered: give its password with -p"},
        {QM_STATUS_BAD_PASSWORD, Phase::Run, Refusal::DataDamaged, 4, "DOC\\A.TXT is damaged: CRC mismatch"},
        {QM_STATUS_BAD_PASSWORD, Phase::Run, Refusal::Stopped, 7, "stopped by the user"},
        {QM_STATUS_CRC_MISMATCH, Phase::Run, Refusal::None, 4, "DOC\\A.TXT is damaged: CRC mismatch"},
        {QM_STATUS_CANNOT_OPEN, Phase::Run, Refusal::None, 6, "cannot create out/A.TXT (for DOC\\A.TXT)"},
        {QM_STATUS_WRITE_FAILED, Phase::Run, Refusal::None, 6, "cannot write out/A.TXT in full"},
        {QM_STATUS_STOPPED, Phase::Run, Refusal::None, 7, "stopped by the user at DOC\\A.TXT"},
        {QM_STATUS_OUT_OF_MEMORY, Phase::Run, Refusal::None, 1, "out of memory"},
        {QM_STATUS_NOT_SUPPORTED, Phase::Run, Refusal::None, 1, "(status 32770)"},
    };
    for (const auto &c : cases) {
        quill::FailureContext context;
        context.phase = c.phase;
        context.refusal = c.refusal;
        context.entry = "DOC\\A.TXT";
        context.outputPath = "out/A.TXT";
        const auto failure = quill::DescribeFailure(c.status, context);
        EXPECT_EQ(failure.exitCode, c.exitCode) << c.text;
        EXPECT_NE(failure.text.find(c.text), std::string::npos) << "'" << failure.text << "'";
        EXPECT_EQ(failure.text.find('\n'), std::string::npos);  // one line
    }
    quill::FailureContext masked;
    masked.phase = Phase::Walk;
    masked.masksGiven = true;
    EXPECT_EQ(quill::DescribeFailure(QM_STATUS_EMPTY_LIST, masked).text, "no entry matches the masks");
    // A stop asked for by the user wins over the status it caused.
    quill::FailureContext stopped;
    stopped.stopRequested = true;
    EXPECT_EQ(quill::DescribeFailure(QM_STATUS_BAD_PASSWORD, stopped).exitCode, 7);
}

// The handle API's errors (quill t) read as the exports' statuses of the
// same meaning do.
TEST(QuillFailures, ReaderErrorsReadAsTheExportsStatuses)
{
    using quill::Phase;
    struct Case {
        int error;
        Phase phase;
        Refusal refusal;
        int exitCode;
        const char *text;
    };
    const Case cases[] = {
        {QM_E_CRC, Phase::Run, Refusal::None, 4, "DOC\\A.TXT is damaged: CRC mismatch"},
        {QM_E_DAMAGED, Phase::Run, Refusal::None, 4, "DOC\\A.TXT is damaged: its data ends early"},
        {QM_E_DAMAGED, Phase::Walk, Refusal::None, 4, "the archive is damaged: a header block is not valid"},
        {QM_E_DAMAGED, Phase::Walk, Refusal::HeaderBlockBroken, 4, "a header block does not decipher"},
        {QM_E_BAD_PASSWORD, Phase::Run, Refusal::DataWrong, 5, "wrong password for DOC\\A.TXT"},
        {QM_E_BAD_PASSWORD, Phase::Run, Refusal::DataNeeded, 5, "DOC\\A.TXT is enciphered: give its password with -p"},
        {QM_E_CANCELLED, Phase::Run, Refusal::None, 7, "stopped by the user at DOC\\A.TXT"},
        {QM_E_NO_MEMORY, Phase::Run, Refusal::None, 1, "out of memory"},
        {QM_E_IO, Phase::Run, Refusal::None, 3, "the archive cannot be read"},
        {QM_E_UNSAFE_NAME, Phase::Run, Refusal::None, 1, "unexpected error -11"},
    };
    for (const auto &c : cases) {
        quill::FailureContext context;
        context.phase = c.phase;
        context.refusal = c.refusal;
        context.entry = "DOC\\A.TXT";
        const auto failure = quill::DescribeReaderFailure(c.error, context, 0);
        EXPECT_EQ(failure.exitCode, c.exitCode) << c.text;
        EXPECT_NE(failure.text.find(c.text), std::string::npos) << "'" << failure.text << "'";
        EXPECT_EQ(quill::ReaderFailedOnItsOwn(c.error), c.error == QM_E_CRC || c.error == QM_E_DAMAGED ||
                                                           c.error == QM_E_BAD_PASSWORD)
            << c.error;
    }
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
