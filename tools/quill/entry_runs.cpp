// entry_runs.cpp - repeating a run past each entry that failed on its own.
#include "quill/entry_runs.h"

#include "quill/exit_codes.h"
#include "quill/failure_messages.h"

namespace quill {

namespace {

// True when the status concerns the one entry the run failed at, not the
// run as a whole.
bool FailedOnItsOwn(uint16_t status, const FailureContext &failure, const Failure &described)
{
    switch (status) {
    case QM_STATUS_CRC_MISMATCH:
    case QM_STATUS_BAD_PASSWORD:
        return (described.exitCode == kExitDamaged || described.exitCode == kExitPassword) &&
               failure.refusal != PasswordAnswers::Refusal::HeaderBlockBroken;
    case QM_STATUS_CANNOT_OPEN:
        // Its output file could not be made or given its time.
        return failure.phase == Phase::Run && !failure.outputPath.empty();
    default:
        return false;
    }
}

}  // namespace

RunsOutcome RunPastFailedEntries(ExtractionRun &run, PreparedArchive &prepared, Display &display)
{
    RunsOutcome outcome;
    const std::string &archive = prepared.shownName();
    const int last = static_cast<int>(prepared.walk.entries.size()) - 1;
    for (int skipThrough = -1;;) {
        const uint16_t status = run.Run(prepared.masks, skipThrough);
        if (status == QM_STATUS_OK)
            return outcome;
        const FailureContext failure = run.Context(status);
        const Failure described = DescribeFailure(status, failure);
        const int failedAt = run.failedEntry(status);
        if (failure.stopRequested || !FailedOnItsOwn(status, failure, described) ||
            failedAt <= skipThrough) {
            outcome.fatalExit = ReportFailure(display, archive, status, failure);
            return outcome;
        }
        display.Err("quill: " + archive + ": " + described.text);
        if (outcome.failed.empty())
            outcome.firstExit = described.exitCode;
        outcome.failed.push_back(failure.entry);
        skipThrough = failedAt;
        if (skipThrough >= last)
            return outcome;
        if (!run.CanPassOver()) {
            // The entries behind are neither done nor silently dropped.
            display.Err("quill: " + archive + ": cannot go on past " + failure.entry +
                        ": no private folder for the marker of passed-over entries");
            outcome.fatalExit = outcome.firstExit;
            return outcome;
        }
    }
}

int ReportFailedEntries(Display &display, const std::string &archive, const RunsOutcome &outcome,
                        std::size_t entryCount, const std::string &what)
{
    std::string names;
    for (const std::string &name : outcome.failed)
        names += (names.empty() ? "" : ", ") + name;
    display.Err("quill: " + archive + ": " + std::to_string(outcome.failed.size()) + " of " +
                std::to_string(entryCount) + (entryCount == 1 ? " entry" : " entries") +
                " " + what + ": " + names);
    return outcome.firstExit;
}

}  // namespace quill
