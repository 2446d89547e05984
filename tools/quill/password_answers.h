// password_answers.h - how quill answers the library's password questions.
//
// The library asks through one callback, with a kind: 1 for the header
// password, 0 for an entry's data password.
//
// Header password (kind 1).  While the archive opens, the library first tries
// the -H password (or the empty one) itself and asks only when that did not
// decipher the first header block.  So a question means: the -H password is
// wrong (declined at once: a password given for scripts is final), or none
// was given; then the -p password is tried once (many archives use one
// password for both), and after it quill asks on the terminal, at most three
// times, or declines when it has no terminal.  After the open, the password that
// opened the archive deciphers every block; a block it does not decipher is
// damaged, so such a question is declined and reported as damage.
//
// Data password (kind 0).  The library asks in two places: before an entry
// when it holds no data password yet (for plain entries too), and after an
// enciphered entry's CRC did not match.  The caller tells which.  Before an
// entry, a plain entry and one that only carries a chaining value need no
// password (the empty one is answered); for a DES or triple-DES entry quill
// asks on the terminal or declines.  After a mismatch the password was wrong:
// a -p password is final, a typed one is asked for again, at most three times
// for one entry; for a chaining-value entry, whose data any password reads
// alike, a mismatch means damage and is declined as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "quill/command_line.h"
#include "quill/console.h"
#include "quill/progress_display.h"

namespace quill {

class PasswordAnswers {
public:
    // Why the last question was declined.
    enum class Refusal {
        None,
        HeaderNeeded,       // enciphered headers, no -H, no terminal
        HeaderWrong,        // -H wrong, or three typed passwords wrong
        HeaderNotGiven,     // the user gave an empty answer
        HeaderBlockBroken,  // a later header block does not decipher
        DataNeeded,         // enciphered entry, no -p, no terminal
        DataWrong,          // -p wrong, or three typed passwords wrong
        DataNotGiven,       // the user gave an empty answer
        DataDamaged,        // a chaining-value entry does not match its CRC
        Stopped,            // Ctrl-C at the prompt
        UnknownKind,
    };

    static constexpr int kMaxAttempts = 3;

    PasswordAnswers(Console &console, Display &display, const CommandLine &line);

    // From now on header questions concern blocks after the first one.
    void ArchiveOpened() { opened_ = true; }

    int32_t AnswerHeader(char *buffer, size_t capacity);
    // An entry's question; method is the entry's cipher method, -1 for an
    // entry that is passed over anyway.
    int32_t AnswerData(char *buffer, size_t capacity, const std::string &name, int32_t method,
                       int entryIndex, bool afterMismatch);
    int32_t Decline(Refusal why, const std::string &name = {});

    Refusal refusal() const { return refusal_; }
    // The entry that was asked about when the question was declined.
    const std::string &refusedEntry() const { return refusedEntry_; }

private:
    // Asks on the terminal; writes the answer and returns 1, or declines.
    int32_t Prompt(char *buffer, size_t capacity, const std::string &prompt, Refusal notGiven,
                   const std::string &name);

    Console &console_;
    Display &display_;
    const CommandLine &line_;
    bool opened_ = false;
    int headerAttempts_ = 0;
    bool triedDataPasswordForHeaders_ = false;
    int attemptsEntry_ = -1;  // the entry the count below belongs to
    int dataAttempts_ = 0;
    Refusal refusal_ = Refusal::None;
    std::string refusedEntry_;
};

}  // namespace quill
