// password_answers.cpp - answering password questions without looping.
#include "quill/password_answers.h"

#include <cstring>

#include "quill/codepage.h"

namespace quill {

int32_t PasswordAnswers::Answer(char *buffer, size_t capacity, const char *name, int32_t kind)
{
    const std::string asked = name ? name : "";
    if (kind == lastKind_ && asked == lastName_) {
        ++repeats_;
    } else {
        repeats_ = 1;
        lastKind_ = kind;
        lastName_ = asked;
    }

    const bool given = !password_.empty();
    const int limit = kind == 1 ? (given ? 1 : 0) : (given ? 1 : 2);
    if (kind != 0 && kind != 1) {
        refusal_ = "unknown password question";
        return 0;
    }
    if (repeats_ > limit || !buffer || password_.size() >= capacity) {
        const std::string what = kind == 1 ? "the header blocks of " + FromLibraryText(asked)
                                           : FromLibraryText(asked);
        refusal_ = given ? "the password does not fit " + what
                         : what + " needs a password (give it with -p)";
        return 0;
    }
    refusal_.clear();
    std::memcpy(buffer, password_.c_str(), password_.size() + 1);
    return 1;
}

}  // namespace quill
