// program_runs.h - runs one of our programs as a user would: on a
// pseudo-terminal that types answers, or with its output in files.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qmtest {

struct Step {
    std::string waitFor;  // in the terminal's output since the last step
    std::string send;     // then typed
};

struct TerminalSession {
    std::string screen;  // everything the terminal showed
    int exitCode = -1;
    bool finished = false;  // exited on its own (not by a signal)
    double seconds = 0;
};

// Runs program on a new pseudo-terminal and types each step's text once the
// text it waits for has appeared.  Gives up after 60 seconds.
TerminalSession RunOnTerminal(const std::string &program, const std::vector<std::string> &args,
                              const std::vector<Step> &steps);

struct PipedRun {
    std::string out, err;
    int exitCode = -1;       // -1 when a signal ended it
    int signal = 0;          // the signal that ended it
    long peakKiB = 0;        // its peak resident set
};

struct RunLimits {
    std::uint64_t addressSpace = 0;  // bytes; 0: no limit
    // Run as the user nobody when the tests run as root, so that file
    // permissions apply to the program.
    bool unprivileged = false;
};

// Runs program with standard input from /dev/null and its output gathered
// through files in `scratch`.
PipedRun RunPiped(const std::string &program, const std::vector<std::string> &args,
                  const std::filesystem::path &scratch, const RunLimits &limits = {});

}  // namespace qmtest
