// quill_scripted_console.h - a console for driving quill's commands in a
// test: output gathered in strings, questions answered from a script.
#pragma once

#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "quill/console.h"

namespace qmtest {

struct ConsoleStreams {
    std::ostringstream outText, errText;
};

class ScriptedConsole : private ConsoleStreams, public quill::Console {
public:
    // terminal: questions can be asked and progress drawn.
    explicit ScriptedConsole(bool terminal = false, std::vector<std::string> answers = {})
        : quill::Console(outText, errText), terminal_(terminal), answers_(answers.begin(), answers.end())
    {
    }

    bool CanAsk() const override { return terminal_; }
    bool CanShowProgress() const override { return terminal_; }
    std::optional<std::string> Ask(const std::string &prompt, bool secret) override
    {
        prompts.push_back(prompt);
        secrets.push_back(secret);
        if (answers_.empty())
            return std::nullopt;
        std::string answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    bool StopRequested() const override { return stop; }
    Clock::time_point Now() const override { return now; }

    std::string Out() const { return outText.str(); }
    std::string Err() const { return errText.str(); }
    size_t AnswersLeft() const { return answers_.size(); }

    std::vector<std::string> prompts;
    std::vector<bool> secrets;
    bool stop = false;
    Clock::time_point now{};

private:
    bool terminal_;
    std::deque<std::string> answers_;
};

}  // namespace qmtest
