// extraction_run.h - one extraction through the library, with quill's
// callbacks: the names shown, the replace question, progress, passwords.
//
// The run follows the library's list of matching entries, which is the
// walk's list when built with the same masks: each entry announces itself
// through the file-name callback (twice when a wrong password made the
// library redo it), so the run always knows which entry it is at.
//
// Entries up to a given index can be passed over: their output path is
// pointed at a file that exists (a marker file in a private directory) and
// the replace question is answered "skip", so the library reads none of
// their data.  That is how an extraction goes on behind a failed entry (see
// entry_runs.h).  ("quill t" reads through the handle API instead; see
// test_command.cpp.)
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "quill/archive_session.h"
#include "quill/exit_codes.h"
#include "quill/failure_messages.h"
#include "quill/password_answers.h"
#include "quill/private_dir.h"
#include "quill/progress_display.h"
#include "quill/replace_answers.h"
#include "quillmark.h"

namespace quill {

struct RunSettings {
    std::string outputDir;              // -o, library form
    std::string relativePath;           // --relative, library form
    std::string archiveShown;           // the archive, as the system names it
};

class ExtractionRun {
public:
    ExtractionRun(Console &console, Display &display, PasswordAnswers &answers,
                  ReplaceAnswers *replace, const std::vector<Entry> &plan, RunSettings settings);
    ExtractionRun(const ExtractionRun &) = delete;
    ExtractionRun &operator=(const ExtractionRun &) = delete;

    // Extracts the entries that match the masks, passing over
    // those up to index skipThrough; returns the library's status.
    uint16_t Run(const MaskList &masks, int skipThrough);

    // The entry the run was at when it ended (-1: none began).
    int current() const { return cursor_; }
    // The entry a failure with this status concerns: a declined password
    // question may come before the entry it is about begins.
    int failedEntry(uint16_t status) const
    {
        return status == QM_STATUS_BAD_PASSWORD && questionIndex_ >= 0 ? questionIndex_ : cursor_;
    }
    // What a failure of the last run concerned.
    FailureContext Context(uint16_t status) const;
    int finished() const { return finished_; }
    // Whether entries can be passed over in a later run: the marker file
    // they are pointed at is made when first needed.
    bool CanPassOver();

    // The library's callbacks; the user value is the run.
    static int32_t QM_CALL OnFileName(QmUserValue user, const char *stored, char *outputPath);
    static int32_t QM_CALL OnReplace(QmUserValue user, WIN32_FIND_DATAA *existing,
                                     WIN32_FIND_DATAA *incoming);
    static int32_t QM_CALL OnProgress(QmUserValue user, int32_t percent, int32_t count);
    static int32_t QM_CALL OnPassword(QmUserValue user, char *buffer, const char *name,
                                      int32_t kind);

private:
    void BeginEntry(char *outputPath);
    void EntryPassed(int index);
    std::string Shown(int index) const;

    Console &console_;
    Display &display_;
    PasswordAnswers &answers_;
    ReplaceAnswers *replace_;
    const std::vector<Entry> &plan_;
    RunSettings settings_;

    int skipThrough_ = -1;
    int cursor_ = -1;          // index of the entry being worked on
    bool inEntry_ = false;     // its file-name callback came, no question since
    bool retryPending_ = false;
    int pendingPass_ = -1;     // entry whose success is not yet counted
    int questionIndex_ = -1;   // the entry of the last data-password question
    int finished_ = 0;         // entries extracted or found intact
    std::string outputShown_;  // the current entry's output path, for messages
    std::map<std::string, int> extractedTo_;  // output path (PathKey) -> entry extracted there
    int64_t bytesDone_ = 0;
    int64_t entryStartBytes_ = 0;
    std::unique_ptr<PrivateDir> markerDir_;  // holds the marker file
    std::string librarySkipMarker_;         // the marker, as the library takes it
};

// Describes a find-data record for the replace question: "1.5 KiB, 2022-03-10 11:02".
std::string DescribeFindData(const WIN32_FIND_DATAA &data);

// The start of an extraction: the archive opened with quill's password
// answers, every entry walked and quill's masks applied, each mask that
// chose nothing named, and the chosen entries walked again under the
// library's masks (the walk finds damage in the header blocks before
// anything is written, and tells the sizes for the progress line).
// failure() is the exit code of a start that failed, its message shown; -1
// when the run can go on.
class PreparedArchive {
public:
    PreparedArchive(const CommandLine &line, Console &console, Display &display);

    int failure() const { return failure_; }
    // The exit code of a run that went well: 8 when a mask chose nothing.
    int successCode() const { return unmatchedMasks_ ? kExitNothingMatched : kExitOk; }
    const std::string &shownName() const { return archive_; }
    // The unpacked bytes of the matching entries.
    int64_t totalSize() const;

    PasswordAnswers answers;
    ArchiveSession session;
    MaskList masks;
    EntryWalk walk;

private:
    std::string archive_;
    int failure_ = -1;
    bool unmatchedMasks_ = false;
};

}  // namespace quill
