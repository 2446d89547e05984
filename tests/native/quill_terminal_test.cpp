// quill_terminal_test.cpp - the quill program as a user drives it: on a
// pseudo-terminal for the questions, the password without echo, Ctrl-C and
// the progress line; through pipes for the behaviour without a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "packer_crypto/packer_crypto.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

const Bytes kText = {'h', 'e', 'l', 'l', 'o', '\n'};
constexpr qmpack::ChainingBlock kChaining = {1, 2, 3, 4, 5, 6, 7, 8};

struct Step {
    std::string waitFor;  // in the terminal's output since the last step
    std::string send;     // then typed
};

struct Session {
    std::string screen;  // everything the terminal showed
    int exitCode = -1;
    bool finished = false;
    double seconds = 0;
};

// Runs quill on a new pseudo-terminal and types each step's text once the
// text it waits for has appeared.  Gives up after 60 seconds.
Session RunOnTerminal(const std::vector<std::string> &args, const std::vector<Step> &steps)
{
    Session session;
    std::vector<char *> argv;
    std::string program = QM_QUILL_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto &arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    winsize size{};
    size.ws_row = 24;
    size.ws_col = 100;
    int master = -1;
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child < 0)
        return session;
    if (child == 0) {
        // Start as from a shell: no signal blocked or ignored (a test runner
        // may block some for its children).
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGINT, SIG_DFL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    size_t step = 0;
    size_t searchFrom = 0;
    const auto deadline = started + std::chrono::seconds(60);
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            break;
        }
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 50) > 0) {
            char buffer[4096];
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0)
                break;  // the child is gone (EIO)
            session.screen.append(buffer, static_cast<size_t>(got));
        }
        if (step < steps.size()) {
            const size_t at = session.screen.find(steps[step].waitFor, searchFrom);
            if (at != std::string::npos) {
                searchFrom = at + steps[step].waitFor.size();
                const std::string &text = steps[step].send;
                if (write(master, text.data(), text.size()) < 0)
                    break;
                ++step;
            }
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    session.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    session.finished = WIFEXITED(status);
    session.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return session;
}

// Runs quill with standard input from /dev/null and its output in pipes.
struct Piped {
    std::string out, err;
    int exitCode = -1;
};

Piped RunThroughPipes(const std::vector<std::string> &args, const fs::path &scratch)
{
    std::string command = std::string("'") + QM_QUILL_PATH + "'";
    for (const auto &arg : args)
        command += " '" + arg + "'";
    const std::string outFile = (scratch / "stdout").string(), errFile = (scratch / "stderr").string();
    command += " </dev/null >'" + outFile + "' 2>'" + errFile + "'";
    Piped piped;
    const int status = std::system(command.c_str());
    piped.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes out = qmpack::ReadFile(outFile), err = qmpack::ReadFile(errFile);
    piped.out.assign(out.begin(), out.end());
    piped.err.assign(err.begin(), err.end());
    return piped;
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
    EXPECT_EQ(qmpack::ReadFile((out / "SECRET.TXT").string()), secret);

    // Without a terminal: no question, a message and exit code 5.
    fs::remove_all(out);
    const Piped p = RunThroughPipes({"x", "-o", out.string(), archive}, dir.path());
    EXPECT_EQ(p.exitCode, 5);
    EXPECT_EQ(p.err.find("Password for"), std::string::npos) << p.err;
    EXPECT_NE(p.err.find("DOC\\SECRET.TXT is enciphered: give its password with -p"), std::string::npos) << p.err;
    EXPECT_FALSE(fs::exists(out / "SECRET.TXT"));
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
