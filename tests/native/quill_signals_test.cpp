// quill_signals_test.cpp - the quill program stopped by signals in the middle
// of an extraction that replaces a file: whatever arrives and whenever, the
// file under the final name is the old one or the complete new one, never a
// part of it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "packer/carrier_writer.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

// Starts quill with the arguments, sends each signal after its delay (in
// milliseconds from the start) and returns the wait status.
int RunAndSignal(const std::vector<std::string> &args, const std::vector<std::pair<int, int>> &signals)
{
    std::vector<std::string> copies = args;
    std::string program = QM_QUILL_PATH;
    std::vector<char *> argv{program.data()};
    for (auto &arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (const int s : {SIGINT, SIGTERM, SIGHUP})
            signal(s, SIG_DFL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const auto started = std::chrono::steady_clock::now();
    for (const auto &[delay, sig] : signals) {
        std::this_thread::sleep_until(started + std::chrono::milliseconds(delay));
        kill(child, sig);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST(QuillSignals, NoPartialFileEverStandsUnderTheFinalName)
{
    qmtest::TempDir dir;
    const fs::path out = dir.path() / "out";
    fs::create_directory(out);
    Bytes big(48u << 20);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    qmpack::CarrierSpec layout;
    layout.entries = {qmpack::StoredEntry("BIG.BIN", big)};
    const std::string archive = dir.Write("big.qm", qmpack::BuildCarrier(layout));
    const Bytes old = {'o', 'l', 'd'};

    struct Case {
        const char *what;
        std::vector<std::pair<int, int>> signals;
        bool temporaryMayRemain;  // quill was ended at once, with no time to clean up
    };
    const Case cases[] = {
        {"SIGTERM", {{20, SIGTERM}}, false},
        {"SIGHUP", {{20, SIGHUP}}, false},
        {"SIGINT", {{20, SIGINT}}, false},
        {"SIGINT twice", {{20, SIGINT}, {21, SIGINT}}, true},
        {"SIGTERM, then SIGHUP", {{5, SIGTERM}, {6, SIGHUP}}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directory(out);
        ASSERT_TRUE(qmpack::WriteFile((out / "BIG.BIN").string(), old));
        const int status = RunAndSignal({"x", "-y", "-q", "-o", out.string(), archive}, c.signals);
        const Bytes now = qmpack::ReadFile((out / "BIG.BIN").string());
        EXPECT_TRUE(now == old || now == big) << "a file of " << now.size() << " bytes";
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
            EXPECT_EQ(WEXITSTATUS(status), 7);  // stopped by the user
            EXPECT_EQ(now, old);
        }
        std::vector<std::string> others;
        for (const auto &e : fs::directory_iterator(out))
            if (e.path().filename() != "BIG.BIN")
                others.push_back(e.path().filename().string());
        if (!c.temporaryMayRemain || WIFEXITED(status)) {
            EXPECT_TRUE(others.empty()) << others.front();
        } else {
            for (const std::string &name : others)
                EXPECT_EQ(name.rfind("~qm", 0), 0u) << name;  // only the temporary file, by its name
        }
    }
}

}  // namespace
