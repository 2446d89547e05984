// quill_commands_test.cpp - quill's commands end to end over carrier files,
// driven through a scripted console: the listing (table and JSON), the test
// that leaves nothing behind, extraction with its options and questions,
// and the exit code and message for each failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <filesystem>
#include <string>

#include "quill/codepage.h"
#include "quill/command_line.h"
#include "quill/commands.h"
#include "quill/exit_codes.h"
#include "quill_scripted_console.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

const Bytes kText = {'h', 'e', 'l', 'l', 'o', '\n'};
const Bytes kSound = Bytes(3000, 0x5A);

qmpack::EntrySpec Damaged(qmpack::EntrySpec entry)
{
    entry.dataCrc ^= 1;
    return entry;
}

// Points the system's temporary directory at a folder of the test, so that
// what "quill t" leaves behind can be seen.
class ScratchRedirect {
public:
    explicit ScratchRedirect(const fs::path &dir)
    {
        fs::create_directories(dir);
        for (auto &saved : saved_) {
            const char *before = std::getenv(saved.name);
            saved.had = before != nullptr;
            if (saved.had)
                saved.value = before;
            Set(saved.name, dir.string().c_str());
        }
    }
    ~ScratchRedirect()
    {
        // The folder goes with the test: later tests need the real one back.
        for (const auto &saved : saved_)
            Set(saved.name, saved.had ? saved.value.c_str() : nullptr);
    }

private:
    struct Saved {
        const char *name;
        bool had = false;
        std::string value;
    };
#ifdef _WIN32
    Saved saved_[2] = {{"TMP", false, {}}, {"TEMP", false, {}}};
    static void Set(const char *name, const char *value) { _putenv_s(name, value ? value : ""); }
#else
    Saved saved_[1] = {{"TMPDIR", false, {}}};
    static void Set(const char *name, const char *value)
    {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
#endif
};

class QuillCommands : public ::testing::Test {
protected:
    std::string Carrier(std::vector<qmpack::EntrySpec> entries, const std::string &name = "archive.qm")
    {
        qmpack::CarrierSpec carrier;
        carrier.prefix = Bytes(100, 0);
        carrier.entries = std::move(entries);
        return dir.Write(name, qmpack::BuildCarrier(carrier));
    }

    quill::CommandLine Line(quill::Command command, const std::string &archive)
    {
        quill::CommandLine line;
        line.command = command;
        line.archive = *quill::ToLibraryPath(archive);
        if (command == quill::Command::Extract)
            line.outputDir = *quill::ToLibraryPath(out.string());
        return line;
    }

    int Run(const quill::CommandLine &line, bool terminal = false, std::vector<std::string> typed = {})
    {
        console = std::make_unique<qmtest::ScriptedConsole>(terminal, std::move(typed));
        switch (line.command) {
        case quill::Command::List:
            return quill::RunList(line, *console);
        case quill::Command::Test:
            return quill::RunTest(line, *console);
        default:
            return quill::RunExtract(line, *console);
        }
    }

    bool Printed(const std::string &piece) const
    {
        return console->Out().find(piece) != std::string::npos;
    }
    bool Complained(const std::string &piece) const
    {
        return console->Err().find(piece) != std::string::npos;
    }

    qmtest::TempDir dir;
    fs::path out = dir.path() / "out";
    std::unique_ptr<qmtest::ScriptedConsole> console;
};

TEST_F(QuillCommands, ListShowsEntriesAndStatistics)
{
    const auto archive = Carrier({qmpack::StoredEntry("SOUND\\BOAT.WAV", kSound),
                                  qmpack::ChainingOnlyEntry("LICENSE.TXT", kText)});
    EXPECT_EQ(Run(Line(quill::Command::List, archive)), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Printed("SOUND\\BOAT.WAV")) << console->Out();
    EXPECT_TRUE(Printed("*LICENSE.TXT")) << console->Out();  // enciphered
    EXPECT_TRUE(Printed("2022-03-10 11:02:20"));
    EXPECT_TRUE(Printed("2 entries"));

    auto masked = Line(quill::Command::List, archive);
    masked.masks = {"sound\\*.wav"};
    EXPECT_EQ(Run(masked), quill::kExitOk);
    EXPECT_TRUE(Printed("1 entry"));
    EXPECT_FALSE(Printed("LICENSE"));

    masked.masks = {"*.ZIP"};
    EXPECT_EQ(Run(masked), quill::kExitNothingMatched);
    EXPECT_TRUE(Complained("archive.qm: no entry matches the mask *.ZIP")) << console->Err();
}

// Masks as unzip and bsdtar take them; a mask that chooses nothing is named,
// and the exit code says so even when the other masks did their work.
TEST_F(QuillCommands, MasksChooseAsAUnixUserExpects)
{
    const auto archive = Carrier({qmpack::StoredEntry("SOUND\\BOAT.WAV", kSound),
                                  qmpack::StoredEntry("LICENSE.TXT", kText),
                                  qmpack::StoredEntry("DOC\\SUB\\A.TXT", kText)});
    auto list = Line(quill::Command::List, archive);
    list.masks = {"*"};
    EXPECT_EQ(Run(list), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Printed("3 entries")) << console->Out();
    list.masks = {"*.wav"};
    EXPECT_EQ(Run(list), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Printed("SOUND\\BOAT.WAV"));
    EXPECT_TRUE(Printed("1 entry")) << console->Out();
    list.masks = {"doc/*", "*.zip", "nothing"};
    list.json = true;
    EXPECT_EQ(Run(list), quill::kExitNothingMatched);
    EXPECT_TRUE(Printed("\"name\": \"DOC\\\\SUB\\\\A.TXT\"")) << console->Out();
    EXPECT_FALSE(Printed("LICENSE"));
    EXPECT_TRUE(Printed("\"statistics\": {\"entries\": 1,")) << console->Out();
    EXPECT_TRUE(Complained("archive.qm: no entry matches the mask *.zip\n")) << console->Err();
    EXPECT_TRUE(Complained("archive.qm: no entry matches the mask nothing\n")) << console->Err();

    auto extract = Line(quill::Command::Extract, archive);
    extract.keepDirectories = true;
    extract.masks = {"*.WAV", "*.txt", "*.zip"};
    EXPECT_EQ(Run(extract), quill::kExitNothingMatched);
    EXPECT_EQ(qmpack::ReadFile((out / "SOUND" / "BOAT.WAV").string()), kSound);
    EXPECT_EQ(qmpack::ReadFile((out / "DOC" / "SUB" / "A.TXT").string()), kText);
    EXPECT_EQ(qmpack::ReadFile((out / "LICENSE.TXT").string()), kText);
    EXPECT_TRUE(Complained("no entry matches the mask *.zip")) << console->Err();
    EXPECT_TRUE(Printed("Done: 3 files extracted"));

    auto test = Line(quill::Command::Test, archive);
    test.masks = {"*.zip"};
    EXPECT_EQ(Run(test), quill::kExitNothingMatched);
    EXPECT_EQ(console->Out(), "");
    test.masks = {"a.txt"};
    EXPECT_EQ(Run(test), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Printed("  ok  DOC\\SUB\\A.TXT\nThe entry is intact")) << console->Out();
}

// e puts every entry in one folder: names that meet there are the replace
// question's business, and a replacement is never silent.
TEST_F(QuillCommands, FlatExtractionNamesWhichEntryReplacedWhich)
{
    const Bytes first = {'1'}, second = {'2'};
    const auto archive = Carrier({qmpack::StoredEntry("A\\X.TXT", first), qmpack::StoredEntry("B\\X.TXT", second)});
    auto line = Line(quill::Command::Extract, archive);
    line.overwrite = true;
    line.quiet = true;
    EXPECT_EQ(Run(line), quill::kExitOk) << console->Err();
    EXPECT_EQ(qmpack::ReadFile((out / "X.TXT").string()), second);
    EXPECT_TRUE(Complained("B\\X.TXT replaced A\\X.TXT (both go to ")) << console->Err();

    // Without -y and without a terminal: kept, and said why.
    fs::remove_all(out);
    line.overwrite = line.quiet = false;
    EXPECT_EQ(Run(line), quill::kExitOk) << console->Err();
    EXPECT_EQ(qmpack::ReadFile((out / "X.TXT").string()), first);
    EXPECT_TRUE(Printed("X.TXT: it holds A\\X.TXT, extracted before (-y overwrites)")) << console->Out();
    EXPECT_EQ(console->Err(), "");

    // On a terminal the question names both entries.
    fs::remove_all(out);
    EXPECT_EQ(Run(line, true, {"n"}), quill::kExitOk) << console->Err();
    ASSERT_EQ(console->prompts.size(), 1u);
    EXPECT_NE(console->prompts[0].find("extracted from A\\X.TXT in this run"), std::string::npos) << console->prompts[0];
    EXPECT_NE(console->prompts[0].find("(B\\X.TXT)"), std::string::npos) << console->prompts[0];

    // A file that was there before the run is an ordinary existing file.
    fs::remove_all(out);
    fs::create_directories(out);
    qmpack::WriteFile((out / "X.TXT").string(), {'0'});
    line.overwrite = true;
    EXPECT_EQ(Run(line), quill::kExitOk);
    EXPECT_TRUE(Complained("B\\X.TXT replaced A\\X.TXT")) << console->Err();
    EXPECT_FALSE(Complained("replaced B")) << console->Err();
}

TEST_F(QuillCommands, JsonListingIsOneObjectInUtf8)
{
    qmpack::EntrySpec odd = qmpack::StoredEntry("DOC\\\x82t\x82 \"1\".TXT", kText);  // été in code page 437
    odd.dosDateTime = 0xFFFFFFFF;
    odd.attributes = 0x21;
    const auto archive = Carrier({qmpack::StoredEntry("SOUND\\BOAT.WAV", kSound), odd,
                                  qmpack::ChainingOnlyEntry("LICENSE.TXT", kText)});
    auto line = Line(quill::Command::List, archive);
    line.json = true;
    ASSERT_EQ(Run(line), quill::kExitOk) << console->Err();
    const std::string json = console->Out();
    for (const char *piece : {
             "{\"archive\": \"", "archive.qm\",",
             "{\"name\": \"SOUND\\\\BOAT.WAV\", \"size\": 3000, \"packedSize\": 3000, \"ratio\": 100, "
             "\"modified\": \"2022-03-10T11:02:20\", \"attributes\": \"....A\", \"attributeBits\": 32, "
             "\"enciphered\": false, \"cipher\": \"none\"}",
             "{\"name\": \"DOC\\\\\xC3\xA9t\xC3\xA9 \\\"1\\\".TXT\"", "\"modified\": null",
             "\"attributes\": \"R...A\", \"attributeBits\": 33",
             "\"enciphered\": true, \"cipher\": \"chaining\"",
             "\"statistics\": {\"entries\": 3, \"size\": 3012, \"packedSize\": 3020, \"ratio\": 100}}"})
        EXPECT_NE(json.find(piece), std::string::npos) << piece << "\n" << json;
    EXPECT_EQ(console->Err(), "");
}

TEST_F(QuillCommands, ListShowsTheEntriesBeforeADamagedHeaderBlock)
{
    qmpack::EntrySpec broken = qmpack::StoredEntry("B.TXT", kText);
    broken.magic = 76;
    const auto archive = Carrier({qmpack::StoredEntry("A.TXT", kText), broken});
    EXPECT_EQ(Run(Line(quill::Command::List, archive)), quill::kExitDamaged);
    EXPECT_TRUE(Printed("A.TXT"));
    EXPECT_FALSE(Printed("entries"));  // no totals for a listing cut short
    EXPECT_TRUE(Complained("the archive is damaged: a header block is not valid")) << console->Err();
    // Extraction refuses before writing anything; the test checks the
    // entries in front of the damage, then names it.
    EXPECT_EQ(Run(Line(quill::Command::Extract, archive)), quill::kExitDamaged);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Run(Line(quill::Command::Test, archive)), quill::kExitDamaged);
    EXPECT_TRUE(Printed("  ok  A.TXT\n")) << console->Out();
    EXPECT_FALSE(Printed("intact")) << console->Out();
    EXPECT_TRUE(Complained("the archive is damaged: a header block is not valid")) << console->Err();
}

TEST_F(QuillCommands, ExtractKeepsTheStoredFoldersOnlyWhenAsked)
{
    const auto archive = Carrier({qmpack::StoredEntry("SOUND\\BOAT.WAV", kSound),
                                  qmpack::StoredEntry("LICENSE.TXT", kText)});
    const bool keptBefore = arOptionsAreOn(QM_OPTION_KEEP_DIRECTORIES);
    auto line = Line(quill::Command::Extract, archive);
    EXPECT_EQ(Run(line), quill::kExitOk) << console->Err();
    EXPECT_EQ(qmpack::ReadFile((out / "BOAT.WAV").string()), kSound);
    EXPECT_EQ(qmpack::ReadFile((out / "LICENSE.TXT").string()), kText);
    EXPECT_TRUE(Printed("Done: 2 files extracted")) << console->Out();

    fs::remove_all(out);
    line.keepDirectories = true;
    line.masks = {"SOUND\\*.*"};
    EXPECT_EQ(Run(line), quill::kExitOk) << console->Err();
    EXPECT_EQ(qmpack::ReadFile((out / "SOUND" / "BOAT.WAV").string()), kSound);
    EXPECT_FALSE(fs::exists(out / "LICENSE.TXT"));
    // The option does not outlive the command.
    EXPECT_EQ(arOptionsAreOn(QM_OPTION_KEEP_DIRECTORIES) != 0, keptBefore);
}

TEST_F(QuillCommands, RelativePathDropsOnlyThatDirectory)
{
    const auto archive = Carrier({qmpack::StoredEntry("DOC\\SUB\\A.TXT", kText),
                                  qmpack::StoredEntry("OTHER\\B.TXT", kSound),
                                  qmpack::StoredEntry("doc\\C.TXT", kText),
                                  qmpack::StoredEntry("DOCX", kText)});
    auto line = Line(quill::Command::Extract, archive);
    line.relativePath = "DOC";
    line.keepDirectories = true;
    EXPECT_EQ(Run(line), quill::kExitOk) << console->Err();
    EXPECT_EQ(qmpack::ReadFile((out / "SUB" / "A.TXT").string()), kText);
    EXPECT_EQ(qmpack::ReadFile((out / "C.TXT").string()), kText);       // case ignored
    EXPECT_EQ(qmpack::ReadFile((out / "OTHER" / "B.TXT").string()), kSound);  // outside: whole path
    EXPECT_EQ(qmpack::ReadFile((out / "DOCX").string()), kText);
    // A later command starts without the relative path.
    fs::remove_all(out);
    line.relativePath.clear();
    EXPECT_EQ(Run(line), quill::kExitOk) << console->Err();
    EXPECT_TRUE(fs::exists(out / "DOC" / "SUB" / "A.TXT"));
}

TEST_F(QuillCommands, ExistingFiles)
{
    const auto archive = Carrier({qmpack::StoredEntry("A.TXT", kText),
                                  qmpack::StoredEntry("B.TXT", kText),
                                  qmpack::StoredEntry("C.TXT", kText)});
    const Bytes old = {'o', 'l', 'd'};
    struct Case {
        const char *what;
        bool terminal, yes, no;
        std::vector<std::string> typed;
        const char *kept;  // per file: 'o' old kept, 'n' new written
        int exitCode;
    };
    const Case cases[] = {
        {"no terminal: skipped", false, false, false, {}, "ooo", quill::kExitOk},
        {"-y", false, true, false, {}, "nnn", quill::kExitOk},
        {"-n on a terminal: no question", true, false, true, {}, "ooo", quill::kExitOk},
        {"yes, no, yes", true, false, false, {"y", "n", "yes"}, "non", quill::kExitOk},
        {"no, then all", true, false, false, {"n", "A"}, "onn", quill::kExitOk},
        {"yes, then none", true, false, false, {"y", "N"}, "noo", quill::kExitOk},
        {"quit at the second", true, false, false, {"y", "q"}, "noo", quill::kExitStopped},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directories(out);
        for (const char *name : {"A.TXT", "B.TXT", "C.TXT"})
            qmpack::WriteFile((out / name).string(), old);
        auto line = Line(quill::Command::Extract, archive);
        line.overwrite = c.yes;
        line.neverOverwrite = c.no;
        EXPECT_EQ(Run(line, c.terminal, c.typed), c.exitCode) << console->Err();
        int i = 0;
        for (const char *name : {"A.TXT", "B.TXT", "C.TXT"})
            EXPECT_EQ(qmpack::ReadFile((out / name).string()), c.kept[i++] == 'o' ? old : kText) << name;
        EXPECT_EQ(console->AnswersLeft(), 0u);
    }
    EXPECT_TRUE(Complained("stopped by the user at B.TXT")) << console->Err();
}

TEST_F(QuillCommands, TestChecksEveryEntryAndLeavesNothingBehind)
{
    const fs::path scratchBase = dir.path() / "tmp";
    ScratchRedirect redirect(scratchBase);
    qmpack::EntrySpec readOnly = qmpack::StoredEntry("RO.TXT", kText);
    readOnly.attributes = 0x21;
    const auto good = Carrier({qmpack::StoredEntry("SOUND\\BOAT.WAV", kSound), readOnly,
                               qmpack::ChainingOnlyEntry("C.TXT", kText)},
                              "good.qm");
    auto line = Line(quill::Command::Test, good);
    EXPECT_EQ(Run(line), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Printed("  ok  SOUND\\BOAT.WAV\n  ok  RO.TXT\n  ok  C.TXT\n")) << console->Out();
    EXPECT_TRUE(Printed("All 3 entries are intact"));
    EXPECT_TRUE(fs::is_empty(scratchBase));

    // Every damaged entry is named, the intact ones behind them are tested too.
    const auto bad = Carrier({Damaged(qmpack::StoredEntry("A.TXT", kText)),
                              qmpack::StoredEntry("B.TXT", kText),
                              Damaged(qmpack::ChainingOnlyEntry("C.TXT", kText)),
                              Damaged(qmpack::StoredEntry("D.TXT", kText)),
                              qmpack::StoredEntry("E.TXT", kSound)},
                             "bad.qm");
    line = Line(quill::Command::Test, bad);
    EXPECT_EQ(Run(line), quill::kExitDamaged);
    for (const char *name : {"A.TXT", "C.TXT", "D.TXT"})
        EXPECT_TRUE(Complained(std::string("bad.qm: ") + name + " is damaged: CRC mismatch")) << console->Err();
    EXPECT_TRUE(Printed("  ok  B.TXT\n  ok  E.TXT\n")) << console->Out();
    EXPECT_FALSE(Printed("ok  A.TXT"));
    EXPECT_TRUE(Complained("3 of 5 entries failed the test"));
    EXPECT_TRUE(fs::is_empty(scratchBase));

    // Quiet: only the failures.
    line.quiet = true;
    EXPECT_EQ(Run(line), quill::kExitDamaged);
    EXPECT_EQ(console->Out(), "");
    EXPECT_TRUE(Complained("D.TXT is damaged"));
    line.masks = {"B.TXT", "E.TXT"};
    EXPECT_EQ(Run(line), quill::kExitOk);
    EXPECT_EQ(console->Out(), "");
    EXPECT_EQ(console->Err(), "");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::is_empty(scratchBase));

    // The data is checked in memory: no temporary folder is needed at all
    // (a file stands where it should be).
    fs::remove_all(scratchBase);
    ASSERT_TRUE(qmpack::WriteFile(scratchBase.string(), kText));
    EXPECT_EQ(Run(Line(quill::Command::Test, good)), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Printed("All 3 entries are intact"));
}

TEST_F(QuillCommands, ProgressOnATerminalOnly)
{
    const auto archive = Carrier({qmpack::StoredEntry("BIG.BIN", Bytes(200000, 7))});
    auto line = Line(quill::Command::Extract, archive);
    line.overwrite = true;
    EXPECT_EQ(Run(line, true), quill::kExitOk);
    EXPECT_NE(console->Err().find("BIG.BIN"), std::string::npos);
    EXPECT_NE(console->Err().find("of 195.3 KiB"), std::string::npos) << console->Err();
    EXPECT_EQ(console->Err().back(), '\r');  // wiped at the end
    for (const bool terminal : {false, true}) {
        line.quiet = terminal;
        EXPECT_EQ(Run(line, terminal), quill::kExitOk);
        EXPECT_EQ(console->Err(), "");
    }
}

// Chaining-value entries read alike under every password: a mismatch there
// is damage, whatever the password, and must not be asked about for ever.
TEST_F(QuillCommands, ChainingValueEntriesNeedNoPassword)
{
    struct Case {
        const char *what;
        std::vector<qmpack::EntrySpec> entries;
        const char *password;
        bool terminal;
        int exitCode;
        const char *complaint;
    };
    const Case cases[] = {
        {"plain entries, no -p", {qmpack::StoredEntry("A.TXT", kText), qmpack::StoredEntry("B.TXT", kText)}, nullptr, false, 0, ""},
        {"no -p", {qmpack::ChainingOnlyEntry("A.TXT", kText)}, nullptr, false, 0, ""},
        {"-p", {qmpack::ChainingOnlyEntry("A.TXT", kText)}, "pw", false, 0, ""},
        {"damaged, no -p", {qmpack::StoredEntry("A.TXT", kText), Damaged(qmpack::ChainingOnlyEntry("SECRET.TXT", kText))}, nullptr, false, 4, "SECRET.TXT is damaged: CRC mismatch"},
        {"damaged, -p", {qmpack::StoredEntry("A.TXT", kText), Damaged(qmpack::ChainingOnlyEntry("SECRET.TXT", kText))}, "pw", false, 4, "SECRET.TXT is damaged: CRC mismatch"},
        {"damaged, on a terminal: no question", {qmpack::StoredEntry("A.TXT", kText), Damaged(qmpack::ChainingOnlyEntry("SECRET.TXT", kText))}, nullptr, true, 4, "SECRET.TXT is damaged: CRC mismatch"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        auto line = Line(quill::Command::Extract, Carrier(c.entries));
        if (c.password) {
            line.password = c.password;
            line.passwordGiven = true;
        }
        EXPECT_EQ(Run(line, c.terminal), c.exitCode) << console->Err();
        EXPECT_TRUE(console->prompts.empty());
        EXPECT_EQ(qmpack::ReadFile((out / "A.TXT").string()), kText);
        EXPECT_TRUE(Complained(c.complaint)) << console->Err();
        EXPECT_FALSE(fs::exists(out / "SECRET.TXT"));
    }
}

TEST_F(QuillCommands, FailuresHaveTheirExitCodesAndNameTheArchive)
{
    struct Case {
        std::string path;
        quill::Command command;
        int exitCode;
        const char *message;
        long lines = 1;  // an extraction past a failed entry ends with a summary line
    };
    const Case cases[] = {
        {dir.File("absent.qm"), quill::Command::List, quill::kExitUnreadable, "absent.qm: no such file"},
        {dir.File("absent.qm"), quill::Command::Test, quill::kExitUnreadable, "absent.qm: no such file"},
        {dir.File("absent.qm"), quill::Command::Extract, quill::kExitUnreadable, "absent.qm: no such file"},
        {dir.path().string(), quill::Command::List, quill::kExitUnreadable, "is a folder, not an archive file"},
        {dir.path().string(), quill::Command::Test, quill::kExitUnreadable, "is a folder, not an archive file"},
        {dir.Write("notes.txt", Bytes(100, 'x')), quill::Command::List, quill::kExitUnreadable, "notes.txt: not an archive: no signature in the first 81,920 bytes"},
        {dir.Write("notes.txt", Bytes(100, 'x')), quill::Command::Extract, quill::kExitUnreadable, "notes.txt: not an archive"},
        {Carrier({qmpack::StoredEntry("B.TXT", kText), Damaged(qmpack::StoredEntry("A.TXT", kText))}), quill::Command::Extract, quill::kExitDamaged, "archive.qm: A.TXT is damaged: CRC mismatch", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        fs::remove_all(out);
        EXPECT_EQ(Run(Line(c.command, c.path)), c.exitCode);
        EXPECT_EQ(console->Err().rfind("quill: ", 0), 0u) << console->Err();
        EXPECT_TRUE(Complained(c.message)) << console->Err();
        const std::string err = console->Err();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.lines);
        EXPECT_FALSE(fs::exists(out / "A.TXT"));
    }
    // Where the output cannot be written.
    const auto archive = Carrier({qmpack::StoredEntry("A.TXT", kText)});
    fs::remove_all(out);
    ASSERT_TRUE(qmpack::WriteFile(out.string(), kText));  // a file where the directory should be
    EXPECT_EQ(Run(Line(quill::Command::Extract, archive)), quill::kExitWriteFailed);
    EXPECT_TRUE(Complained("cannot create")) << console->Err();
    EXPECT_TRUE(Complained("(for A.TXT)")) << console->Err();
}

TEST_F(QuillCommands, ExtractGoesOnPastEveryFailedEntryAndNamesEach)
{
    ScratchRedirect redirect(dir.path() / "scratch");  // where the marker of passed-over entries lives
    const auto archive = Carrier({Damaged(qmpack::StoredEntry("A.TXT", kText)),
                                  qmpack::StoredEntry("B.TXT", kText),
                                  qmpack::StoredEntry("C.TXT", kText),
                                  Damaged(qmpack::ChainingOnlyEntry("D.TXT", kText)),
                                  qmpack::StoredEntry("E.TXT", kSound)});
    fs::create_directories(out / "C.TXT");  // a folder stands where C.TXT goes
    auto line = Line(quill::Command::Extract, archive);
    line.overwrite = true;
    // The first failure's exit code, every failed entry named, every other one extracted.
    EXPECT_EQ(Run(line), quill::kExitDamaged);
    EXPECT_TRUE(Complained("archive.qm: A.TXT is damaged: CRC mismatch")) << console->Err();
    EXPECT_TRUE(Complained("cannot create " + (out / "C.TXT").string() + " (for C.TXT): Is a directory"))
        << console->Err();
    EXPECT_TRUE(Complained("archive.qm: D.TXT is damaged: CRC mismatch")) << console->Err();
    EXPECT_TRUE(Complained("3 of 5 entries failed: A.TXT, C.TXT, D.TXT")) << console->Err();
    EXPECT_TRUE(Printed("2 files extracted")) << console->Out();
    EXPECT_EQ(qmpack::ReadFile((out / "B.TXT").string()), kText);
    EXPECT_EQ(qmpack::ReadFile((out / "E.TXT").string()), kSound);
    EXPECT_FALSE(fs::exists(out / "A.TXT"));
    EXPECT_FALSE(fs::exists(out / "D.TXT"));
    EXPECT_TRUE(fs::is_directory(out / "C.TXT"));
    EXPECT_TRUE(fs::is_empty(dir.path() / "scratch"));
}

TEST_F(QuillCommands, DamageInTheHeaderBlocksIsDamageNotAPasswordProblem)
{
    const Bytes whole = qmpack::ReadFile(Carrier({qmpack::StoredEntry("A.TXT", kText),
                                                  qmpack::StoredEntry("B.TXT", kSound)}));
    const std::size_t block1 = 100 + 34;  // behind the prefix and the signature record
    struct Case {
        const char *what;
        Bytes bytes;
        const char *message;
        const char *listed;  // shown by "l", or null
    };
    Bytes flipped = whole;
    flipped[block1 + 200] ^= 0x40;
    const Case cases[] = {
        {"cut inside block 1", Bytes(whole.begin(), whole.begin() + block1 + 200),
         "the archive is damaged: no intact first header block", nullptr},
        {"cut inside block 2", Bytes(whole.begin(), whole.begin() + block1 + 432 + 6 + 100),
         "the archive is damaged", "A.TXT"},
        {"a flip in block 1", flipped, "the archive is damaged", "B.TXT"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.Write("damaged.qm", c.bytes);
        for (const quill::Command command : {quill::Command::List, quill::Command::Test, quill::Command::Extract}) {
            fs::remove_all(out);
            EXPECT_EQ(Run(Line(command, path)), quill::kExitDamaged) << console->Err();
            EXPECT_TRUE(Complained(c.message)) << console->Err();
            EXPECT_FALSE(Complained("password")) << console->Err();
            if (command == quill::Command::List && c.listed) {
                EXPECT_TRUE(Printed(c.listed)) << console->Out();
            }
        }
    }
    // The entry behind a lost first block is still extracted.
    EXPECT_EQ(qmpack::ReadFile((out / "B.TXT").string()), kSound);
}

TEST_F(QuillCommands, TheArchiveItselfIsNeverReplaced)
{
    const auto archive = Carrier({qmpack::StoredEntry("SELF.QM", kText)}, "SELF.QM");
    auto line = Line(quill::Command::Extract, archive);
    line.outputDir = *quill::ToLibraryPath(dir.path().string());
    line.overwrite = true;
    const Bytes before = qmpack::ReadFile(archive);
    EXPECT_EQ(Run(line), quill::kExitWriteFailed);
    EXPECT_TRUE(Complained("it is the archive being read")) << console->Err();
    EXPECT_EQ(qmpack::ReadFile(archive), before);
}

}  // namespace
