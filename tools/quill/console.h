// console.h - where quill talks to its user.
//
// The commands write through a Console: normal output, failure lines,
// questions and the progress line.  The real one (TerminalConsole) asks only
// when standard input and standard error are both terminals, and draws
// progress only when standard error is one; the tests drive the commands
// through a console of their own with scripted answers.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

namespace quill {

class Console {
public:
    using Clock = std::chrono::steady_clock;

    Console(std::ostream &out, std::ostream &err) : out_(out), err_(err) {}
    virtual ~Console() = default;
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    std::ostream &out() { return out_; }
    std::ostream &err() { return err_; }

    // True when a question can be asked and answered (a terminal).
    virtual bool CanAsk() const = 0;
    // True when a progress line may be drawn on err.
    virtual bool CanShowProgress() const = 0;
    // Writes the prompt to err and reads one line, without echo when secret;
    // nothing on end of input or when the user interrupted.
    virtual std::optional<std::string> Ask(const std::string &prompt, bool secret) = 0;
    // Columns of the progress line's terminal.
    virtual int Width() const { return 80; }
    virtual Clock::time_point Now() const { return Clock::now(); }
    // True once the user asked to stop (Ctrl-C).
    virtual bool StopRequested() const = 0;

private:
    std::ostream &out_;
    std::ostream &err_;
};

// The process's own standard streams and terminal.
class TerminalConsole : public Console {
public:
    TerminalConsole();
    bool CanAsk() const override { return canAsk_; }
    bool CanShowProgress() const override { return canShowProgress_; }
    std::optional<std::string> Ask(const std::string &prompt, bool secret) override;
    int Width() const override;
    bool StopRequested() const override;

private:
    bool canAsk_;
    bool canShowProgress_;
};

// Makes Ctrl-C (and a termination request) ask quill to stop cleanly instead
// of ending the process at once; a second Ctrl-C ends it.
void CatchStopRequests();

}  // namespace quill
