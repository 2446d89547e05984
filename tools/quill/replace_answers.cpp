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

int32_t ReplaceAnswers::Skip(const std::string &path, const std::string &why)
{
    ++skipped_;
    display_.Out("  skipped " + path + ": " + why);
    return kSkip;
}

int32_t ReplaceAnswers::Overwrite(const std::string &path, const Collision *collision)
{
    if (collision)
        display_.Err("quill: " + collision->entry + " replaced " + collision->earlier + " (both go to " +
                     path + ")");
    return kOverwrite;
}

int32_t ReplaceAnswers::Answer(const std::string &path, const std::string &existing,
                               const std::string &incoming, const Collision *collision)
{
    if (console_.StopRequested()) {
        quit_ = true;
        return kStop;
    }
    const std::string exists =
        collision ? "it holds " + collision->earlier + ", extracted before" : std::string("it exists");
    if (standing_)
        return *standing_ == kSkip ? Skip(path, exists) : Overwrite(path, collision);
    if (!canAsk_)
        return Skip(path, exists + " (-y overwrites)");
    display_.ClearProgress();
    std::string prompt = "File exists: " + path +
                         (collision ? "\n  extracted from " + collision->earlier + " in this run" : "") +
                         "\n  on disk:    " + existing + "\n  in archive: " + incoming +
                         (collision ? " (" + collision->entry + ")" : "") +
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
            return Overwrite(path, collision);
        case Typed::No:
            return Skip(path, "kept");
        case Typed::All:
            standing_ = kOverwrite;
            return Overwrite(path, collision);
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
