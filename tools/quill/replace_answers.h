// replace_answers.h - what quill answers when an output file exists.
//
// -y overwrites, -n skips.  Without either, quill asks on a terminal:
// yes, no, all (yes from now on), none (no from now on) or quit; without a
// terminal it never asks and skips.  The answers are the replace callback's:
// 0 overwrite (after clearing a read-only bit), 1 skip, 2 stop the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "quill/command_line.h"
#include "quill/console.h"
#include "quill/progress_display.h"

namespace quill {

class ReplaceAnswers {
public:
    static constexpr int32_t kOverwrite = 0;
    static constexpr int32_t kSkip = 1;
    static constexpr int32_t kStop = 2;

    ReplaceAnswers(Console &console, Display &display, const CommandLine &line);

    // When the existing file is one this run extracted (flat extraction puts
    // A\X.TXT and B\X.TXT both at X.TXT): the entry written there, and the
    // entry that would replace it.
    struct Collision {
        std::string earlier;
        std::string entry;
    };

    // existing / incoming: short descriptions (size, time) for the question.
    // An entry that replaces one of this run is named on err, even with -q.
    int32_t Answer(const std::string &path, const std::string &existing,
                   const std::string &incoming, const Collision *collision = nullptr);

    int skipped() const { return skipped_; }
    bool quitAnswered() const { return quit_; }

    // A typed answer as the callback's: nothing when it is not understood.
    // "y"/"yes", "n"/"no", "a"/"A"/"all", "N"/"none", "q"/"quit".
    enum class Typed { Yes, No, All, None, Quit };
    static std::optional<Typed> Parse(const std::string &answer);

private:
    int32_t Skip(const std::string &path, const std::string &why);
    int32_t Overwrite(const std::string &path, const Collision *collision);

    Console &console_;
    Display &display_;
    std::optional<int32_t> standing_;  // from -y, -n, "all" or "none"
    bool canAsk_;
    int skipped_ = 0;
    bool quit_ = false;
};

}  // namespace quill
