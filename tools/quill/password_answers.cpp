// password_answers.cpp - answering password questions without looping.
#include "quill/password_answers.h"

#include <cstring>

#include "quill/codepage.h"

namespace quill {

namespace {

bool Write(char *buffer, size_t capacity, const std::string &password)
{
    if (!buffer || password.size() >= capacity)
        return false;
    std::memcpy(buffer, password.c_str(), password.size() + 1);
    return true;
}

}  // namespace

PasswordAnswers::PasswordAnswers(Console &console, Display &display, const CommandLine &line)
    : console_(console), display_(display), line_(line)
{
}

int32_t PasswordAnswers::Decline(Refusal why, const std::string &name)
{
    refusal_ = why;
    refusedEntry_ = name;
    return 0;
}

int32_t PasswordAnswers::Prompt(char *buffer, size_t capacity, const std::string &prompt,
                                Refusal notGiven, const std::string &name)
{
    for (;;) {
        const auto answer = console_.Ask(prompt, true);
        if (!answer)
            return Decline(console_.StopRequested() ? Refusal::Stopped : notGiven, name);
        if (answer->empty())
            return Decline(notGiven, name);
        const auto text = ToLibraryText(*answer);
        if (!text) {
            display_.Err("quill: the password has characters outside Windows-1252");
            continue;
        }
        if (text->size() >= capacity) {
            display_.Err("quill: the password is longer than " + std::to_string(capacity - 1) +
                         " characters");
            continue;
        }
        Write(buffer, capacity, *text);
        refusal_ = Refusal::None;
        return 1;
    }
}

int32_t PasswordAnswers::AnswerHeader(char *buffer, size_t capacity)
{
    if (opened_)
        return Decline(Refusal::HeaderBlockBroken);
    if (line_.headerPasswordGiven)
        return Decline(Refusal::HeaderWrong);
    if (line_.passwordGiven && !triedDataPasswordForHeaders_) {
        // Many archives use one password for both: -p is tried once.
        triedDataPasswordForHeaders_ = true;
        if (Write(buffer, capacity, line_.password))
            return 1;
    }
    if (!console_.CanAsk())
        return Decline(Refusal::HeaderNeeded);
    if (++headerAttempts_ > kMaxAttempts)
        return Decline(Refusal::HeaderWrong);
    const std::string archive = FromLibraryPath(line_.archive);
    if (headerAttempts_ > 1)
        display_.Err("quill: " + archive + ": wrong header password");
    return Prompt(buffer, capacity, "Header password for " + archive + ": ",
                  Refusal::HeaderNotGiven, {});
}

int32_t PasswordAnswers::AnswerData(char *buffer, size_t capacity, const std::string &name,
                                    int32_t method, int entryIndex, bool afterMismatch)
{
    const std::string shown = FromLibraryText(name);
    const bool needsPassword = method == 0 || method == 1;
    if (!afterMismatch) {
        if (!needsPassword)
            return Write(buffer, capacity, "") ? 1 : Decline(Refusal::DataNeeded, name);
        if (line_.passwordGiven)
            return Write(buffer, capacity, line_.password) ? 1 : Decline(Refusal::DataWrong, name);
        if (!console_.CanAsk())
            return Decline(Refusal::DataNeeded, name);
    } else {
        if (!needsPassword)
            return Decline(Refusal::DataDamaged, name);
        if (line_.passwordGiven || !console_.CanAsk())
            return Decline(Refusal::DataWrong, name);
    }
    if (entryIndex != attemptsEntry_) {
        attemptsEntry_ = entryIndex;
        dataAttempts_ = 0;
    }
    if (afterMismatch) {
        if (dataAttempts_ >= kMaxAttempts)
            return Decline(Refusal::DataWrong, name);
        // A password typed for an earlier entry may simply not be this one's.
        display_.Err("quill: " + FromLibraryPath(line_.archive) + ": " +
                     (dataAttempts_ > 0 ? "wrong password for " : "the password does not fit ") +
                     shown);
    }
    ++dataAttempts_;
    return Prompt(buffer, capacity, "Password for " + shown + ": ", Refusal::DataNotGiven, name);
}

}  // namespace quill
