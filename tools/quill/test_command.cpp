// test_command.cpp - "quill t": checking every matching entry's CRC.
//
// The library checks an entry's CRC only as it extracts it, so the test
// extracts each entry into one scratch file of a private temporary directory
// and deletes it again (see ExtractionRun); nothing stays on disk.  It goes
// on past every damaged entry and names each (see entry_runs.h).
#include "quill/archive_session.h"
#include "quill/codepage.h"
#include "quill/commands.h"
#include "quill/entry_runs.h"
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
    settings.archiveShown = archive;
    settings.testing = true;
    settings.scratchDir = scratch.path();
    settings.libraryScratchDir = *libraryScratch;
    ExtractionRun run(console, display, prepared.answers, nullptr, entries, settings);

    display.Out("Testing " + archive);
    display.Start(prepared.totalSize());
    const RunsOutcome outcome = RunPastFailedEntries(run, prepared, display);
    if (outcome.fatalExit >= 0)
        return outcome.fatalExit;
    const std::size_t count = entries.size();
    if (!outcome.failed.empty())
        return ReportFailedEntries(display, archive, outcome, count, "failed the test");
    display.Out(count == 1 ? "The entry is intact" : "All " + std::to_string(count) + " entries are intact");
    return prepared.successCode();
}

}  // namespace quill
