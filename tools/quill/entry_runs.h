// entry_runs.h - going on past a failed entry, as "quill x" and "quill e" do
// ("quill t" goes on by itself: see test_command.cpp).
//
// The library ends a run at the first entry that fails.  When that failure
// concerns the entry alone (its data is damaged, its password is wrong or
// missing, its output file cannot be made), the run is repeated, passing over
// every entry up to the failed one, until the last entry is done: every other
// entry is still tested or extracted, and every failed one is named.  A
// failure of the whole run (a damaged header block, a full disk, a stop)
// ends it at once.
#pragma once

#include <string>
#include <vector>

#include "quill/extraction_run.h"

namespace quill {

struct RunsOutcome {
    int fatalExit = -1;               // >= 0: the run ended on this exit code, its message shown
    std::vector<std::string> failed;  // the entries that failed, as shown
    int firstExit = 0;                // the exit code of the first failed entry
};

RunsOutcome RunPastFailedEntries(ExtractionRun &run, PreparedArchive &prepared, Display &display);

// "quill: a.qm: 2 of 5 entries failed the test: A.TXT, B\C.TXT" (what
// names the failure: "failed the test", "failed"); returns the exit code of
// the first failure.
int ReportFailedEntries(Display &display, const std::string &archive, const RunsOutcome &outcome,
                        std::size_t entryCount, const std::string &what);

}  // namespace quill
