// quill_commands_test.cpp - quill's commands end to end over carrier files:
// the listing, extraction with its options, the password answers, and the
// exit code and message for each failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "quill/codepage.h"
#include "quill/command_line.h"
#include "quill/commands.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

const Bytes kText = {'h', 'e', 'l', 'l', 'o', '\n'};
const Bytes kSound = Bytes(3000, 0x5A);

class QuillCommands : public ::testing::Test {
protected:
    std::string Carrier(std::vector<qmpack::EntrySpec> entries)
    {
        qmpack::CarrierSpec carrier;
        carrier.prefix = Bytes(100, 0);
        carrier.entries = std::move(entries);
        return dir.Write("archive.qm", qmpack::BuildCarrier(carrier));
    }

    quill::CommandLine Line(quill::Command command, const std::string &archive)
    {
        quill::CommandLine line;
        line.command = command;
        line.archive = *quill::ToLibraryPath(archive);
        line.outputDir = *quill::ToLibraryPath(out.string());
        return line;
    }

    int Run(const quill::CommandLine &line)
    {
        stdout_.str("");
        stderr_.str("");
        return line.command == quill::Command::List ? quill::RunList(line, stdout_, stderr_)
                                                    : quill::RunExtract(line, stdout_, stderr_);
    }

    bool Printed(const std::string &piece) const
    {
        return stdout_.str().find(piece) != std::string::npos;
    }
    bool Complained(const std::string &piece) const
    {
        return stderr_.str().find(piece) != std::string::npos;
    }

    qmtest::TempDir dir;
    fs::path out = dir.path() / "out";
    std::ostringstream stdout_, stderr_;
};

TEST_F(QuillCommands, ListShowsEntriesAndStatistics)
{
    const auto archive = Carrier({qmpack::StoredEntry("SOUND\\BOAT.WAV", kSound),
                                  qmpack::ChainingOnlyEntry("LICENSE.TXT", kText)});
    EXPECT_EQ(Run(Line(quill::Command::List, archive)), 0) << stderr_.str();
    EXPECT_TRUE(Printed("SOUND\\BOAT.WAV")) << stdout_.str();
    EXPECT_TRUE(Printed("*LICENSE.TXT")) << stdout_.str();  // enciphered
    EXPECT_TRUE(Printed("2022-03-10 11:02:20"));
    EXPECT_TRUE(Printed("2 entries"));

    auto masked = Line(quill::Command::List, archive);
    masked.masks = {"sound\\*.wav"};
    EXPECT_EQ(Run(masked), 0);
    EXPECT_TRUE(Printed("1 entry"));
    EXPECT_FALSE(Printed("LICENSE"));

    masked.masks = {"*.ZIP"};
    EXPECT_EQ(Run(masked), 1);
    EXPECT_TRUE(Complained("(status 9906)")) << stderr_.str();
}

TEST_F(QuillCommands, ExtractKeepsDirectoriesOnlyWithK)
{
    const auto archive = Carrier({qmpack::StoredEntry("SOUND\\BOAT.WAV", kSound),
                                  qmpack::StoredEntry("LICENSE.TXT", kText)});
    const bool keptBefore = arOptionsAreOn(QM_OPTION_KEEP_DIRECTORIES);
    auto line = Line(quill::Command::Extract, archive);
    EXPECT_EQ(Run(line), 0) << stderr_.str();
    EXPECT_EQ(qmpack::ReadFile((out / "BOAT.WAV").string()), kSound);
    EXPECT_EQ(qmpack::ReadFile((out / "LICENSE.TXT").string()), kText);

    fs::remove_all(out);
    line.keepDirectories = true;
    line.masks = {"SOUND\\*.*"};
    EXPECT_EQ(Run(line), 0) << stderr_.str();
    EXPECT_EQ(qmpack::ReadFile((out / "SOUND" / "BOAT.WAV").string()), kSound);
    EXPECT_FALSE(fs::exists(out / "LICENSE.TXT"));
    // The option does not outlive the command.
    EXPECT_EQ(arOptionsAreOn(QM_OPTION_KEEP_DIRECTORIES) != 0, keptBefore);
}

TEST_F(QuillCommands, ExistingFilesAreSkippedUnlessY)
{
    const auto archive = Carrier({qmpack::StoredEntry("LICENSE.TXT", kText)});
    fs::create_directories(out);
    const Bytes old = {'o', 'l', 'd'};
    qmpack::WriteFile((out / "LICENSE.TXT").string(), old);

    auto line = Line(quill::Command::Extract, archive);
    EXPECT_EQ(Run(line), 0) << stderr_.str();
    EXPECT_TRUE(Printed("1 skipped")) << stdout_.str();
    EXPECT_EQ(qmpack::ReadFile((out / "LICENSE.TXT").string()), old);

    line.overwrite = true;
    EXPECT_EQ(Run(line), 0) << stderr_.str();
    EXPECT_EQ(qmpack::ReadFile((out / "LICENSE.TXT").string()), kText);
}

// A password that never fits must end the run instead of being offered for
// ever; plain entries need no password at all.
TEST_F(QuillCommands, PasswordQuestionsEndWhenTheAnswerDoesNotFit)
{
    qmpack::EntrySpec never = qmpack::ChainingOnlyEntry("SECRET.TXT", kText);
    never.dataCrc ^= 1;
    struct Case {
        const char *what;
        std::vector<qmpack::EntrySpec> entries;
        std::string password;
        int exitCode;
        const char *complaint;
    };
    const Case cases[] = {
        {"plain entries, no -p", {qmpack::StoredEntry("A.TXT", kText), qmpack::StoredEntry("B.TXT", kText)}, "", 0, ""},
        {"enciphered entry that fits, no -p", {qmpack::ChainingOnlyEntry("A.TXT", kText)}, "", 0, ""},
        {"enciphered entry that fits, -p", {qmpack::ChainingOnlyEntry("A.TXT", kText)}, "pw", 0, ""},
        {"never fits, no -p", {qmpack::StoredEntry("A.TXT", kText), never}, "", 1, "SECRET.TXT needs a password"},
        {"never fits, -p", {qmpack::StoredEntry("A.TXT", kText), never}, "pw", 1, "the password does not fit SECRET.TXT"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        auto line = Line(quill::Command::Extract, Carrier(c.entries));
        line.password = c.password;
        EXPECT_EQ(Run(line), c.exitCode) << stderr_.str();
        if (c.exitCode == 0) {
            EXPECT_EQ(qmpack::ReadFile((out / "A.TXT").string()), kText);
        } else {
            EXPECT_TRUE(Complained("(status 9961)")) << stderr_.str();
            EXPECT_TRUE(Complained(c.complaint)) << stderr_.str();
            EXPECT_FALSE(fs::exists(out / "SECRET.TXT"));
        }
    }
}

TEST_F(QuillCommands, FailuresExitWithOneAndNameTheStatus)
{
    qmpack::EntrySpec damaged = qmpack::StoredEntry("A.TXT", kText);
    damaged.dataCrc ^= 1;
    struct Case {
        std::string path;
        quill::Command command;
        const char *message;
    };
    const Case cases[] = {
        {dir.File("absent.qm"), quill::Command::List, "the archive file does not exist (status 2)"},
        {dir.File("absent.qm"), quill::Command::Extract, "the archive file does not exist (status 2)"},
        {dir.Write("notes.txt", Bytes(100, 'x')), quill::Command::List, "no archive was found in the file (status 9999)"},
        {dir.Write("notes.txt", Bytes(100, 'x')), quill::Command::Extract, "no archive was found in the file (status 9999)"},
        {Carrier({damaged}), quill::Command::Extract, "does not match its checksum (the archive is damaged) (status 9962)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        fs::remove_all(out);
        EXPECT_EQ(Run(Line(c.command, c.path)), 1);
        EXPECT_TRUE(Complained(c.message)) << stderr_.str();
        EXPECT_FALSE(fs::exists(out / "A.TXT"));
    }
}

}  // namespace
