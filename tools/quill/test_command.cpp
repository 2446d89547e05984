// test_command.cpp - "quill t": checking every matching entry's CRC in
// memory.
//
// The test reads through the handle API (quillmark_reader.h): one pass over
// the header blocks lists the entries (for the masks and the progress
// line's total), then the archive is opened again and each chosen entry's
// data is read and dropped (entry_check.h).  Nothing is written, so the test
// needs no scratch file and no free space.  A damaged or undecipherable
// entry is named and the others are still checked; damage in the header
// blocks is named after the entries in front of it are checked.
#include <vector>

#include "quill/archive_session.h"
#include "quill/codepage.h"
#include "quill/commands.h"
#include "quill/entry_check.h"
#include "quill/entry_runs.h"
#include "quill/exit_codes.h"
#include "quill/failure_messages.h"
#include "quill/mask_selection.h"
#include "quill/reader_archive.h"
#include "quill/reader_failures.h"
#include "quill/signature_probe.h"
#include "quillmark_reader.h"

namespace quill {

namespace {

// An entry of the handle API as quill's list shows it (Windows-1252,
// backslashes), so that masks and names read as in "quill l" and "quill x".
Entry FromReader(const qm_entry &e)
{
    std::string name = LibraryTextFromUtf8(e.name);
    for (char &c : name)
        if (c == '/')
            c = '\\';
    const int32_t cipher = e.cipher >= QM_CIPHER_METHOD_DES && e.cipher <= QM_CIPHER_METHOD_CHAINING_ONLY
                               ? e.cipher
                               : QM_CIPHER_METHOD_NONE;
    return Entry{name, static_cast<int64_t>(e.packed_size), static_cast<int64_t>(e.size),
                 e.dos_time, e.attributes, cipher};
}

int Report(Display &display, const std::string &archive, const Failure &failure)
{
    display.Err("quill: " + archive + ": " + failure.text);
    return failure.exitCode;
}

// Every entry's header block, read without its data; the walk's error (a
// damaged header block ends it) in walkError.
std::vector<Entry> WalkAll(qm_archive *archive, int &walkError)
{
    std::vector<Entry> all;
    walkError = 0;
    for (;;) {
        const qm_entry *e = nullptr;
        const int r = qm_next_entry(archive, &e);
        if (r != 0) {
            walkError = r < 0 ? r : 0;
            return all;
        }
        all.push_back(FromReader(*e));
    }
}

}  // namespace

int RunTest(const CommandLine &line, Console &console)
{
    Display display(console, line.quiet);
    PasswordAnswers answers(console, display, line);
    const std::string archive = FromLibraryPath(line.archive);
    FailureContext context;
    context.masksGiven = !line.masks.empty();

    ReaderArchive reader(Utf8FromLibraryPath(line.archive), answers);
    ReaderPasswords passwords;
    if (line.headerPasswordGiven)
        passwords.header = line.headerPassword;
    if (line.passwordGiven)
        passwords.data = line.password;
    if (const int r = reader.Open(passwords); r < 0) {
        context.refusal = answers.refusal();
        context.stopRequested = console.StopRequested();
        return Report(display, archive, DescribeReaderOpenFailure(r, archive, context));
    }
    answers.ArchiveOpened();

    int walkError = 0;
    const std::vector<Entry> all = WalkAll(reader.get(), walkError);
    // Damage in the header blocks is named as the exports' run names it: in
    // an archive whose header blocks are enciphered, a block that the
    // opening password does not decipher.
    FailureContext damage = context;
    damage.phase = Phase::Walk;
    if (walkError == QM_E_DAMAGED && SignatureSaysHeadersEnciphered(archive).value_or(false))
        damage.refusal = PasswordAnswers::Refusal::HeaderBlockBroken;
    if (walkError != 0 && walkError != QM_E_DAMAGED)
        return Report(display, archive, DescribeReaderFailure(walkError, damage, qm_system_error(reader.get())));

    const Choice choice = ChooseEntries(all, line.masks);
    ReportUnmatched(display, archive, choice.unmatched);
    int64_t total = 0;
    int last = -1;  // the last chosen entry
    std::size_t count = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!choice.chosen[i])
            continue;
        total += all[i].unpackedSize;
        last = static_cast<int>(i);
        ++count;
    }
    if (count == 0) {
        if (walkError != 0)
            return Report(display, archive, DescribeReaderFailure(walkError, damage, 0));
        if (!line.masks.empty())
            return kExitNothingMatched;
        return Report(display, archive, DescribeFailure(QM_STATUS_EMPTY_LIST, context));
    }

    display.Out("Testing " + archive);
    display.Start(total);
    context.phase = Phase::Run;
    if (const int r = reader.Open(reader.holding()); r < 0)
        return Report(display, archive, DescribeReaderOpenFailure(r, archive, context));
    EntryChecker checker(reader, answers, display, console);
    RunsOutcome outcome;
    for (int i = 0; i <= last; ++i) {
        const Entry &entry = all[static_cast<std::size_t>(i)];
        context.entry = FromLibraryText(entry.name);
        const qm_entry *e = nullptr;
        if (const int r = qm_next_entry(reader.get(), &e); r != 0) {
            // The walk found this entry a moment ago: the archive changed.
            return Report(display, archive, DescribeReaderFailure(r < 0 ? r : QM_E_DAMAGED, damage, 0));
        }
        if (!choice.chosen[static_cast<std::size_t>(i)])
            continue;
        const int r = checker.Check(i, entry);
        if (r == 0) {
            display.Out("  ok  " + context.entry);
            continue;
        }
        context.refusal = answers.refusal();
        context.stopRequested = console.StopRequested();
        const Failure failure = DescribeReaderFailure(r, context, qm_system_error(reader.get()));
        if (context.stopRequested || !ReaderFailedOnItsOwn(r))
            return Report(display, archive, failure);
        Report(display, archive, failure);
        if (outcome.failed.empty())
            outcome.firstExit = failure.exitCode;
        outcome.failed.push_back(context.entry);
    }
    display.ClearProgress();

    const int exitCode = outcome.failed.empty()
                             ? kExitOk
                             : ReportFailedEntries(display, archive, outcome, count, "failed the test");
    if (walkError != 0) {
        const int damageExit = Report(display, archive, DescribeReaderFailure(walkError, damage, 0));
        return outcome.failed.empty() ? damageExit : exitCode;
    }
    if (exitCode != kExitOk)
        return exitCode;
    display.Out(count == 1 ? "The entry is intact" : "All " + std::to_string(count) + " entries are intact");
    return choice.unmatched.empty() ? kExitOk : kExitNothingMatched;
}

}  // namespace quill
