// entry_check.h - checking one entry in memory: its data read through the
// handle API in pieces and dropped, the CRC checked by the library at the
// end.  Nothing is written anywhere, so a check needs no free space.
//
// A data password that does not fit is asked for again as the exports' run
// asks (PasswordAnswers, after a mismatch: a -p password is final, a typed
// one is asked for up to three times).  A handle cannot start an entry's
// data over, so the archive is then opened again with the new password and
// walked to the entry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "quill/archive_session.h"
#include "quill/console.h"
#include "quill/password_answers.h"
#include "quill/progress_display.h"
#include "quill/reader_archive.h"

namespace quill {

class EntryChecker {
public:
    EntryChecker(ReaderArchive &archive, PasswordAnswers &answers, Display &display, Console &console);

    // Checks the archive's current entry, the index-th of its walk: 0 or a
    // negative QM_E_ code (QM_E_CANCELLED once the user asked to stop).
    int Check(int index, const Entry &entry);

private:
    int ReadThrough(const Entry &entry);
    // Opens the archive again with the data password and walks to the entry.
    int Reopen(int index, const Entry &entry, const std::string &password);

    ReaderArchive &archive_;
    PasswordAnswers &answers_;
    Display &display_;
    Console &console_;
    std::unique_ptr<char[]> buffer_;
    int64_t bytesDone_ = 0;  // of the whole run, for the progress line
};

}  // namespace quill
