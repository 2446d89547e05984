// password_answers.h - how quill answers the library's password questions.
//
// The library asks through one callback, with a kind: 1 for the header
// password while an archive opens, 0 for the data password during
// extraction.  quill knows at most one password (-p) and never prompts, so
// what matters is to stop answering once an answer has not helped: the
// library asks again for as long as a password does not fit, and answering
// for ever would never end the run.
//
// Header password: the library first tries the empty password by itself;
// quill answers the first question with -p and declines every further one.
//
// Data password: the library holds the -p password from the open and asks
// only when an enciphered entry's CRC does not match, or, when it holds no
// password, before each entry.  Without -p quill answers with the empty
// password, which plain entries need to go on.  A question that comes
// straight after the same question for the same name means the answer did
// not fit: with -p the second such question is declined, without -p the
// third (the entry's own question and the one after its CRC check).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quill {

class PasswordAnswers {
public:
    explicit PasswordAnswers(std::string password) : password_(std::move(password)) {}

    // Answers one question: writes the answer into buffer (capacity bytes,
    // zero-filled by the library) and returns the callback's result, 1 to
    // take the answer, 0 to give up.
    int32_t Answer(char *buffer, size_t capacity, const char *name, int32_t kind);

    // When the last answer gave up: why, for the user; otherwise empty.
    const std::string &refusal() const { return refusal_; }

private:
    std::string password_;
    std::string lastName_;
    int32_t lastKind_ = -1;
    int repeats_ = 0;
    std::string refusal_;
};

}  // namespace quill
