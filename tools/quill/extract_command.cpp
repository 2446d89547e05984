// extract_command.cpp - "quill x": extracting the matching entries.  A
// failed entry does not stop the others (see entry_runs.h).
#include "quill/archive_session.h"
#include "quill/codepage.h"
#include "quill/commands.h"
#include "quill/entry_runs.h"
#include "quill/exit_codes.h"
#include "quill/extraction_run.h"
#include "quill/failure_messages.h"
#include "quill/replace_answers.h"

namespace quill {

namespace {

// Sets the keep-directories option for one command and puts it back.
class KeepDirectoriesOption {
public:
    explicit KeepDirectoriesOption(bool on) : before_(arOptionsAreOn(QM_OPTION_KEEP_DIRECTORIES) != 0)
    {
        (on ? arOptionsOn : arOptionsOff)(QM_OPTION_KEEP_DIRECTORIES);
    }
    ~KeepDirectoriesOption() { (before_ ? arOptionsOn : arOptionsOff)(QM_OPTION_KEEP_DIRECTORIES); }
    KeepDirectoriesOption(const KeepDirectoriesOption &) = delete;
    KeepDirectoriesOption &operator=(const KeepDirectoriesOption &) = delete;

private:
    bool before_;
};

}  // namespace

int RunExtract(const CommandLine &line, Console &console)
{
    Display display(console, line.quiet);
    PreparedArchive prepared(line, console, display);
    if (prepared.failure() >= 0)
        return prepared.failure();
    const std::string &archive = prepared.shownName();

    KeepDirectoriesOption keep(line.keepDirectories);
    SetOutputPath(line.outputDir.c_str());
    SetRelativePath(line.relativePath.c_str());  // the open cleared it

    RunSettings settings;
    settings.archiveShown = archive;
    settings.outputDir = line.outputDir;
    settings.relativePath = line.relativePath;
    ReplaceAnswers replace(console, display, line);
    ExtractionRun run(console, display, prepared.answers, &replace, prepared.walk.entries, settings);

    display.Out("Extracting from " + archive);
    display.Start(prepared.totalSize());
    const RunsOutcome outcome = RunPastFailedEntries(run, prepared, display);
    SetRelativePath("");
    if (outcome.fatalExit >= 0)
        return outcome.fatalExit;
    if (replace.quitAnswered())
        return ReportFailure(display, archive, QM_STATUS_STOPPED, run.Context(QM_STATUS_STOPPED));
    std::string summary = std::to_string(run.finished()) +
                          (run.finished() == 1 ? " file" : " files") + " extracted";
    if (replace.skipped())
        summary += ", " + std::to_string(replace.skipped()) + " skipped";
    if (!outcome.failed.empty()) {
        display.Out(summary);
        return ReportFailedEntries(display, archive, outcome, prepared.walk.entries.size(), "failed");
    }
    display.Out("Done: " + summary);
    return prepared.successCode();
}

}  // namespace quill
