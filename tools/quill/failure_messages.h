// failure_messages.h - one line and one exit code for each way a command
// can fail.  The line names the archive and, where there is one, the entry:
//   "quill: a.qm: wrong password for DOC\A.TXT"
//   "quill: a.qm: DOC\A.TXT is damaged: CRC mismatch"
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "quill/password_answers.h"

namespace quill {

struct Failure {
    std::string text;  // without the "quill: ARCHIVE: " prefix
    int exitCode;
};

// Where the failure happened.
enum class Phase { Open, Walk, Run };

struct FailureContext {
    Phase phase = Phase::Open;
    PasswordAnswers::Refusal refusal = PasswordAnswers::Refusal::None;
    std::string entry;        // the entry being worked on, as shown; may be empty
    std::string outputPath;   // its output file, as shown; may be empty
    bool masksGiven = false;
    bool stopRequested = false;
    // At the open: whether the signature record marks the header blocks as
    // enciphered (or the command forced it); nothing when unknown.
    std::optional<bool> headersEnciphered;
    // Why the output file could not be made or written, in the system's
    // words; may be empty.
    std::string reason;
};

Failure DescribeFailure(uint16_t status, const FailureContext &context);

class Display;

// Writes "quill: ARCHIVE: text" on err and returns the exit code.
int ReportFailure(Display &display, const std::string &archiveShown, uint16_t status,
                  const FailureContext &context);

}  // namespace quill
