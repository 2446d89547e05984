// bench_process.h - runs a program as the whole-process benchmarks time it:
// from fork to exit, stdout to /dev/null, with the child's CPU time and peak
// resident set from wait4.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace qmbench {

struct Timing {
    double wall = 1e30, user = 0, system = 0;
    long maxRssKiB = 0;
};

inline double Seconds(const timeval &t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs args (the program looked up on PATH when it has no slash); keeps the
// run in best if its wall time is the best so far.  False when the program
// did not run or did not exit with 0.
inline bool Run(const std::vector<std::string> &args, Timing &best)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    // The child's freopen would write out whatever this process still buffers.
    std::fflush(stdout);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout))
            _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return false;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    if (wall < best.wall)
        best = {wall, Seconds(usage.ru_utime), Seconds(usage.ru_stime), usage.ru_maxrss};
    return true;
}

}  // namespace qmbench
