// program_runs.cpp - a program on a pseudo-terminal or through files (see
// program_runs.h).
#include "native/program_runs.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "packer/carrier_writer.h"

namespace qmtest {

namespace {

std::vector<char *> Argv(std::string &program, std::vector<std::string> &args)
{
    std::vector<char *> argv;
    argv.push_back(program.data());
    for (auto &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

// Start as from a shell: no signal blocked or ignored (a test runner may
// block some for its children).
void DefaultSignals()
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        signal(s, SIG_DFL);
}

}  // namespace

TerminalSession RunOnTerminal(const std::string &program, const std::vector<std::string> &args,
                              const std::vector<Step> &steps)
{
    TerminalSession session;
    std::string path = program;
    std::vector<std::string> copies = args;
    const std::vector<char *> argv = Argv(path, copies);

    winsize size{};
    size.ws_row = 24;
    size.ws_col = 100;
    int master = -1;
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child < 0)
        return session;
    if (child == 0) {
        DefaultSignals();
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

PipedRun RunPiped(const std::string &program, const std::vector<std::string> &args,
                  const std::filesystem::path &scratch, const RunLimits &limits)
{
    PipedRun run;
    std::string path = program;
    std::vector<std::string> copies = args;
    const std::vector<char *> argv = Argv(path, copies);
    const std::string outFile = (scratch / "stdout").string(), errFile = (scratch / "stderr").string();
    const pid_t child = fork();
    if (child < 0)
        return run;
    if (child == 0) {
        DefaultSignals();
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(126);
        if (limits.unprivileged && geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(125);
        }
        if (limits.addressSpace) {
            const rlimit limit{limits.addressSpace, limits.addressSpace};
            setrlimit(RLIMIT_AS, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.peakKiB = usage.ru_maxrss;
    const qmpack::Bytes out = qmpack::ReadFile(outFile), err = qmpack::ReadFile(errFile);
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

}  // namespace qmtest
