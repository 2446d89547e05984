// header_password_host.h - a host that answers the library's password
// questions from a script and records every question it was asked.
// Shared by the enciphered-header tests of the portable suite and the
// fixture checks (native and under Wine).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "quillmark.h"

namespace qmtest {

struct PasswordQuestion {
    std::int32_t kind = -1;
    std::string name;
    bool bufferZeroed = false;  // the first 250 bytes (kind 0) or 256 (kind 1) were 0
};

// One answer: the result, and the bytes written into the buffer (a NUL is
// written behind them only when the text is shorter than the buffer).
using PasswordAnswer = std::pair<std::int32_t, std::string>;

struct PasswordHost {
    std::vector<PasswordAnswer> answers;  // taken in order; once used up: 0
    std::size_t next = 0;
    std::vector<PasswordQuestion> questions;
    int headQuestions = 0;  // calls of the SetHeadCryptKeyProc, which must never come

    std::vector<std::int32_t> Kinds() const
    {
        std::vector<std::int32_t> kinds;
        for (const PasswordQuestion &q : questions)
            kinds.push_back(q.kind);
        return kinds;
    }
};
inline PasswordHost g_passwordHost;

inline std::int32_t QM_CALL AnswerPassword(QmUserValue, char *buffer, const char *name, std::int32_t kind)
{
    const std::size_t size = kind == 1 ? 256 : 250;
    PasswordQuestion q;
    q.kind = kind;
    q.name = name ? name : "";
    q.bufferZeroed = std::all_of(buffer, buffer + size, [](char c) { return c == 0; });
    g_passwordHost.questions.push_back(q);
    if (g_passwordHost.next >= g_passwordHost.answers.size())
        return 0;
    const PasswordAnswer &a = g_passwordHost.answers[g_passwordHost.next++];
    std::memcpy(buffer, a.second.data(), std::min(a.second.size() + 1, size));
    return a.first;
}

inline std::int32_t QM_CALL CountHeadQuestion(QmUserValue)
{
    ++g_passwordHost.headQuestions;
    return 1;
}

}  // namespace qmtest
