// failure_messages.cpp - the words for each failure.
#include "quill/failure_messages.h"

#include "quill/exit_codes.h"
#include "quill/progress_display.h"
#include "quill/status_text.h"
#include "quillmark.h"

namespace quill {

namespace {

using Refusal = PasswordAnswers::Refusal;

// ": No space left on device", or nothing when the reason is not known.
std::string Because(const std::string &reason) { return reason.empty() ? "" : ": " + reason; }

// A declined password question, or nothing when the status came otherwise.
std::optional<Failure> FromRefusal(const FailureContext &c)
{
    const std::string &entry = c.entry;
    switch (c.refusal) {
    case Refusal::None:
    case Refusal::UnknownKind:
        return std::nullopt;
    case Refusal::HeaderNeeded:
        return Failure{"the header blocks are enciphered: give the header password with -H",
                       kExitPassword};
    case Refusal::HeaderWrong:
        return Failure{"wrong header password, or the first header block is damaged",
                       kExitPassword};
    case Refusal::HeaderNotGiven:
        return Failure{"no header password given", kExitPassword};
    case Refusal::HeaderBlockBroken:
        return Failure{"the archive is damaged: a header block does not decipher with the "
                       "header password that opened the archive",
                       kExitDamaged};
    case Refusal::DataNeeded:
        return Failure{entry + " is enciphered: give its password with -p", kExitPassword};
    case Refusal::DataWrong:
        return Failure{"wrong password for " + entry, kExitPassword};
    case Refusal::DataNotGiven:
        return Failure{"no password given for " + entry, kExitPassword};
    case Refusal::DataDamaged:
        return Failure{entry + " is damaged: CRC mismatch", kExitDamaged};
    case Refusal::Stopped:
        return Failure{"stopped by the user", kExitStopped};
    }
    return std::nullopt;
}

}  // namespace

Failure DescribeFailure(uint16_t status, const FailureContext &c)
{
    if (c.stopRequested || status == QM_STATUS_STOPPED)
        return {c.entry.empty() ? "stopped by the user" : "stopped by the user at " + c.entry,
                kExitStopped};
    if (status == QM_STATUS_BAD_PASSWORD) {
        if (auto failure = FromRefusal(c))
            return *failure;
        if (c.phase == Phase::Open && c.headersEnciphered == false)
            return {"the archive is damaged: no intact first header block behind its signature",
                    kExitDamaged};
        if (c.phase == Phase::Open)
            return {"the first header block does not decipher: the header password (-H) is "
                    "missing or wrong, or the block is damaged",
                    kExitPassword};
        return {c.entry.empty() ? "a password is missing or wrong"
                                : "a password is missing or wrong for " + c.entry,
                kExitPassword};
    }
    // A later header block that the opening password does not fit: the
    // library reports damage, and quill's refusal of the question says why.
    if (status == QM_STATUS_BAD_HEADER && c.refusal == Refusal::HeaderBlockBroken)
        return *FromRefusal(c);
    switch (status) {
    case QM_STATUS_NO_CARRIER:
        return {"no such file", kExitUnreadable};
    case QM_STATUS_NO_SIGNATURE:
        return {"not an archive: no signature in the first 81,920 bytes", kExitUnreadable};
    case QM_STATUS_CANNOT_OPEN:
        if (c.phase == Phase::Run && !c.outputPath.empty()) {
            if (c.reason.empty())
                return {"cannot create " + c.outputPath + " (for " + c.entry +
                            "), or give it its time",
                        kExitWriteFailed};
            return {"cannot create " + c.outputPath + " (for " + c.entry + ")" + Because(c.reason),
                    kExitWriteFailed};
        }
        return {"the archive file cannot be opened", kExitUnreadable};
    case QM_STATUS_WRITE_FAILED:
        return {"cannot write " + c.outputPath + " in full" + Because(c.reason),
                kExitWriteFailed};
    case QM_STATUS_CRC_MISMATCH:
        return {c.entry + " is damaged: CRC mismatch", kExitDamaged};
    case QM_STATUS_BAD_HEADER:
        return {"the archive is damaged: a header block is not valid", kExitDamaged};
    case QM_STATUS_EMPTY_LIST:
        return {c.masksGiven ? "no entry matches the masks" : "no entry could be read",
                kExitNothingMatched};
    case QM_STATUS_OUT_OF_MEMORY:
        return {"out of memory", kExitFailure};
    default:
        return {StatusText(status) + " (status " + std::to_string(status) + ")", kExitFailure};
    }
}

int ReportFailure(Display &display, const std::string &archiveShown, uint16_t status,
                  const FailureContext &context)
{
    const Failure failure = DescribeFailure(status, context);
    display.Err("quill: " + archiveShown + ": " + failure.text);
    return failure.exitCode;
}

}  // namespace quill
