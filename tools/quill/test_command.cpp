// test_command.cpp - "quill t": checking every matching entry's CRC.
//
// The library checks an entry's CRC only as it extracts it, so the test
// extracts each entry into one scratch file of a private temporary directory
// and deletes it again (see ExtractionRun); nothing stays on disk.  The
// library ends a run at the first damaged entry: the test then runs again,
// passing over the entries already tested, so that every damaged entry is
// named.
#include "quill/archive_session.h"
#include "quill/codepage.h"
#include "quill/commands.h"
#include "quill/exit_codes.h"
#include "quill/extraction_run.h"
#include "quill/failure_messages.h"
#include "quill/private_dir.h"

namespace quill {

int RunTest(const CommandLine &line, Console &console)
{
    Display display(console, line.quiet);
    PreparedArchive prepared(line, console, display);
    if (prepared.failure() >= 0)
        return prepared.failure();
    const std::string &archive = prepared.shownName();
    const std::vector<Entry> &entries = prepared.walk.entries;

    PrivateDir scratch;
    const auto libraryScratch = scratch.ok() ? ToLibraryPath(scratch.path().string()) : std::nullopt;
    if (!libraryScratch || libraryScratch->size() > 200) {
        display.Err("quill: " + archive + ": cannot make a scratch directory in " +
                    std::filesystem::temp_directory_path().string());
        return kExitWriteFailed;
    }
    RunSettings settings;
    settings.testing = true;
    settings.scratchDir = scratch.path();
    settings.libraryScratchDir = *libraryScratch;
    ExtractionRun run(console, display, prepared.answers, nullptr, entries, settings);

    display.Out("Testing " + archive);
    display.Start(prepared.totalSize());
    int failed = 0;
    int firstExit = kExitOk;
    const int last = static_cast<int>(entries.size()) - 1;
    for (int skipThrough = -1;;) {
        const uint16_t status = run.Run(prepared.masks, skipThrough);
        if (status == QM_STATUS_OK)
            break;
        const FailureContext failure = run.Context(status);
        const Failure described = DescribeFailure(status, failure);
        const bool entryFailed =
            (status == QM_STATUS_CRC_MISMATCH || status == QM_STATUS_BAD_PASSWORD) &&
            (described.exitCode == kExitDamaged || described.exitCode == kExitPassword) &&
            failure.refusal != PasswordAnswers::Refusal::HeaderBlockBroken &&
            run.failedEntry(status) > skipThrough;
        if (!entryFailed)
            return ReportFailure(display, archive, status, failure);
        // One entry failed: name it, then test the ones behind it.
        display.Err("quill: " + archive + ": " + described.text);
        if (failed++ == 0)
            firstExit = described.exitCode;
        skipThrough = run.failedEntry(status);
        if (skipThrough >= last)
            break;
    }
    const int count = static_cast<int>(entries.size());
    if (failed) {
        display.Err("quill: " + archive + ": " + std::to_string(failed) + " of " +
                    std::to_string(count) + (count == 1 ? " entry" : " entries") +
                    " failed the test");
        return firstExit;
    }
    display.Out(count == 1 ? "The entry is intact" : "All " + std::to_string(count) + " entries are intact");
    return prepared.successCode();
}

}  // namespace quill
