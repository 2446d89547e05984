// replace_answers.cpp - the question for an existing output file.
#include "quill/replace_answers.h"

#include <algorithm>
#include <cctype>

namespace quill {

ReplaceAnswers::ReplaceAnswers(Console &console, Display &display, const CommandLine &line)
    : console_(console), display_(display), canAsk_(console.CanAsk())
{
    if (line.overwrite)
        standing_ = kOverwrite;
    else if (line.neverOverwrite)
        standing_ = kSkip;
}

std::optional<ReplaceAnswers::Typed> ReplaceAnswers::Parse(const std::string &answer)
{
    std::string word;
    for (const char c : answer)
        if (!std::isspace(static_cast<unsigned char>(c)))
            word += c;
    // The one-letter answers: "N" (none) differs from "n" (no) by case.
    if (word == "y" || word == "Y")
        return Typed::Yes;
    if (word == "n")
        return Typed::No;
    if (word == "a" || word == "A")
        return Typed::All;
    if (word == "N")
        return Typed::None;
    if (word == "q" || word == "Q")
        return Typed::Quit;
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (word == "yes")
        return Typed::Yes;
    if (word == "no")
        return Typed::No;
    if (word == "all")
        return Typed::All;
    if (word == "none")
        return Typed::None;
    if (word == "quit")
        return Typed::Quit;
    return std::nullopt;
}

int32_t ReplaceAnswers::Skip(const std::string &path, const char *why)
{
    ++skipped_;
    display_.Out("  skipped " + path + ": " + why);
    return kSkip;
}

int32_t ReplaceAnswers::Answer(const std::string &path, const std::string &existing,
                               const std::string &incoming)
{
    if (console_.StopRequested()) {
        quit_ = true;
        return kStop;
    }
    if (standing_)
        return *standing_ == kSkip ? Skip(path, "it exists") : *standing_;
    if (!canAsk_)
        return Skip(path, "it exists (-y overwrites)");
    display_.ClearProgress();
    std::string prompt = "File exists: " + path + "\n  on disk:    " + existing +
                         "\n  in archive: " + incoming +
                         "\nReplace it? [y]es, [n]o, [A]ll, [N]one, [q]uit: ";
    for (;;) {
        const auto answer = console_.Ask(prompt, false);
        prompt = "Please answer y, n, A, N or q: ";
        if (!answer) {  // end of input or Ctrl-C
            quit_ = true;
            return kStop;
        }
        const auto typed = Parse(*answer);
        if (!typed)
            continue;
        switch (*typed) {
        case Typed::Yes:
            return kOverwrite;
        case Typed::No:
            return Skip(path, "kept");
        case Typed::All:
            standing_ = kOverwrite;
            return kOverwrite;
        case Typed::None:
            standing_ = kSkip;
            return Skip(path, "kept");
        case Typed::Quit:
            quit_ = true;
            return kStop;
        }
    }
}

}  // namespace quill
