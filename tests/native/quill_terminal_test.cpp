// quill_terminal_test.cpp - the quill program as a user drives it: on a
// pseudo-terminal for the questions, the password without echo, Ctrl-C and
// the progress line; through pipes for the behaviour without a terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "native/program_runs.h"
#include "packer_crypto/packer_crypto.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

const Bytes kText = {'h', 'e', 'l', 'l', 'o', '\n'};
constexpr qmpack::ChainingBlock kChaining = {1, 2, 3, 4, 5, 6, 7, 8};

using qmtest::Step;
using Session = qmtest::TerminalSession;
using Piped = qmtest::PipedRun;

Session RunOnTerminal(const std::vector<std::string> &args, const std::vector<Step> &steps)
{
    return qmtest::RunOnTerminal(QM_QUILL_PATH, args, steps);
}

Piped RunThroughPipes(const std::vector<std::string> &args, const fs::path &scratch)
{
    return qmtest::RunPiped(QM_QUILL_PATH, args, scratch);
}

class QuillTerminal : public ::testing::Test {
protected:
    std::string Carrier(std::vector<qmpack::EntrySpec> entries, const std::string &name = "archive.qm")
    {
        qmpack::CarrierSpec carrier;
        carrier.entries = std::move(entries);
        return dir.Write(name, qmpack::BuildCarrier(carrier));
    }

    qmtest::TempDir dir;
    fs::path out = dir.path() / "out";
};

TEST_F(QuillTerminal, PasswordIsAskedWithoutEchoAndAskedAgainWhenWrong)
{
    const Bytes secret(3000, 's');
    const auto archive = Carrier({qmpack::StoredEntry("A.TXT", kText),
                                  qmpack::EncipheredEntry("DOC\\SECRET.TXT", secret, 0, "s3cretpw", kChaining)});
    const Session s = RunOnTerminal({"x", "-o", out.string(), archive},
                                    {{"Password for DOC\\SECRET.TXT: ", "hunter2x\n"},
                                     {"Password for DOC\\SECRET.TXT: ", "s3cretpw\n"}});
    ASSERT_TRUE(s.finished) << s.screen;
    EXPECT_EQ(s.exitCode, 0) << s.screen;
    EXPECT_NE(s.screen.find("wrong password for DOC\\SECRET.TXT"), std::string::npos) << s.screen;
    // Neither password shows on the terminal.
    EXPECT_EQ(s.screen.find("hunter2x"), std::string::npos) << s.screen;
    EXPECT_EQ(s.screen.find("s3cretpw"), std::string::npos) << s.screen;
    EXPECT_EQ(qmpack::ReadFile((out / "DOC" / "SECRET.TXT").string()), secret);

    // Without a terminal: no question, a message and exit code 5.
    fs::remove_all(out);
    const Piped p = RunThroughPipes({"x", "-o", out.string(), archive}, dir.path());
    EXPECT_EQ(p.exitCode, 5);
    EXPECT_EQ(p.err.find("Password for"), std::string::npos) << p.err;
    EXPECT_NE(p.err.find("DOC\\SECRET.TXT is enciphered: give its password with -p"), std::string::npos) << p.err;
    EXPECT_FALSE(fs::exists(out / "DOC" / "SECRET.TXT"));
}

TEST_F(QuillTerminal, HeaderPasswordIsItsOwnQuestion)
{
    qmpack::CarrierSpec carrier;
    carrier.flags = 1;
    carrier.encipherHeader = qmpack::HeaderEncipherer("h3aderpw");
    carrier.entries = {qmpack::StoredEntry("INSIDE.TXT", kText)};
    const auto archive = dir.Write("head.qm", qmpack::BuildCarrier(carrier));
    const Piped probe = RunThroughPipes({"l", "-H", "h3aderpw", archive}, dir.path());
    if (probe.exitCode != 0)
        GTEST_SKIP() << "the library does not open archives with enciphered header blocks: " << probe.err;

    const Session s = RunOnTerminal({"l", archive}, {{"Header password for ", "wr0ngpw\n"},
                                                     {"Header password for ", "h3aderpw\n"}});
    ASSERT_TRUE(s.finished) << s.screen;
    EXPECT_EQ(s.exitCode, 0) << s.screen;
    EXPECT_NE(s.screen.find("head.qm: "), std::string::npos);  // the prompt names the archive
    EXPECT_NE(s.screen.find("wrong header password"), std::string::npos) << s.screen;
    EXPECT_NE(s.screen.find("INSIDE.TXT"), std::string::npos) << s.screen;
    EXPECT_EQ(s.screen.find("h3aderpw"), std::string::npos) << s.screen;

    const Piped p = RunThroughPipes({"l", archive}, dir.path());
    EXPECT_EQ(p.exitCode, 5);
    EXPECT_NE(p.err.find("give the header password with -H"), std::string::npos) << p.err;
}

TEST_F(QuillTerminal, ReplaceQuestionAndCtrlC)
{
    const auto archive = Carrier({qmpack::StoredEntry("A.TXT", kText), qmpack::StoredEntry("B.TXT", kText)});
    fs::create_directories(out);
    const Bytes old = {'o', 'l', 'd'};
    qmpack::WriteFile((out / "A.TXT").string(), old);
    qmpack::WriteFile((out / "B.TXT").string(), old);

    Session s = RunOnTerminal({"x", "-o", out.string(), archive},
                              {{"[q]uit: ", "nah\n"}, {"or q: ", "no\n"}, {"[q]uit: ", "y\n"}});
    EXPECT_EQ(s.exitCode, 0) << s.screen;
    EXPECT_NE(s.screen.find("File exists: " + (out / "A.TXT").string()), std::string::npos) << s.screen;
    EXPECT_EQ(qmpack::ReadFile((out / "A.TXT").string()), old);
    EXPECT_EQ(qmpack::ReadFile((out / "B.TXT").string()), kText);

    // Ctrl-C at the question stops the run: exit code 7.
    s = RunOnTerminal({"x", "-o", out.string(), archive}, {{"[q]uit: ", "\x03"}});
    EXPECT_EQ(s.exitCode, 7) << s.screen;
    EXPECT_NE(s.screen.find("stopped by the user"), std::string::npos) << s.screen;
    EXPECT_EQ(qmpack::ReadFile((out / "A.TXT").string()), old);

    // Without a terminal existing files are skipped, never asked about.
    const Piped p = RunThroughPipes({"x", "-o", out.string(), archive}, dir.path());
    EXPECT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(p.err, "");
    EXPECT_NE(p.out.find("skipped"), std::string::npos) << p.out;
    EXPECT_EQ(qmpack::ReadFile((out / "A.TXT").string()), old);
}

TEST_F(QuillTerminal, ProgressLineOnATerminalOnly)
{
    Bytes big(6 * 1048576);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    const auto archive = Carrier({qmpack::StoredEntry("ONE.BIN", big), qmpack::StoredEntry("TWO.BIN", big)});
    const Session s = RunOnTerminal({"t", archive}, {});
    EXPECT_EQ(s.exitCode, 0) << s.screen;
    // Each drawing shows the entry, its percent, the bytes and (later) the rate.
    size_t drawings = 0;
    for (size_t at = s.screen.find("of 12.0 MiB"); at != std::string::npos;
         at = s.screen.find("of 12.0 MiB", at + 1))
        ++drawings;
    EXPECT_GE(drawings, 1u) << s.screen;
    EXPECT_NE(s.screen.find("ONE.BIN"), std::string::npos);
    EXPECT_NE(s.screen.find("%  "), std::string::npos);
    EXPECT_NE(s.screen.find('\r'), std::string::npos);
    // At most five drawings a second (and the first at once).
    EXPECT_LE(static_cast<double>(drawings), 2 + 5 * s.seconds) << s.seconds << " s";
    EXPECT_NE(s.screen.find("All 2 entries are intact"), std::string::npos) << s.screen;

    // Quiet, or not a terminal: no progress line.
    const Session quiet = RunOnTerminal({"t", "-q", archive}, {});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.screen, "");
    const Piped p = RunThroughPipes({"t", archive}, dir.path());
    EXPECT_EQ(p.exitCode, 0);
    EXPECT_EQ(p.err, "");
    EXPECT_EQ(p.out.find('\r'), std::string::npos);
    EXPECT_EQ(p.out, "Testing " + archive + "\n  ok  ONE.BIN\n  ok  TWO.BIN\nAll 2 entries are intact\n");
}

TEST_F(QuillTerminal, HelpVersionAndUsageErrors)
{
    Piped p = RunThroughPipes({"--help"}, dir.path());
    EXPECT_EQ(p.exitCode, 0);
    EXPECT_NE(p.out.find("usage: quill l"), std::string::npos);
    p = RunThroughPipes({"--version"}, dir.path());
    EXPECT_EQ(p.exitCode, 0);
    EXPECT_EQ(p.out.rfind("quill ", 0), 0u);
    p = RunThroughPipes({"x", "a.qm", "-y", "-n"}, dir.path());
    EXPECT_EQ(p.exitCode, 2);
    EXPECT_NE(p.err.find("-y and -n exclude each other"), std::string::npos);
}

}  // namespace
