// reader_archive.h - an archive opened through the handle API
// (quillmark_reader.h), with quill's password answers behind its questions.
//
// The handle API takes and gives UTF-8; quill's answers are Windows-1252, as
// the exports take them, so each answer is converted on its way.  The header
// password that opened the archive is kept, so that it can be opened again
// (to read an entry with another data password) without a second question.
//
// A handle asks for a data password only before an entry's data, when it
// holds none; it keeps the last one given for the entries after.  A password
// that does not fit shows as QM_E_BAD_PASSWORD from qm_read_data, and the
// caller decides whether to ask again (PasswordAnswers, after a mismatch).
#pragma once

#include <optional>
#include <string>

#include "quill/archive_session.h"
#include "quill/password_answers.h"
#include "quillmark_reader.h"

namespace quill {

// What an archive is opened with, in library form (Windows-1252).
struct ReaderPasswords {
    std::optional<std::string> header;
    std::optional<std::string> data;
};

class ReaderArchive {
public:
    // pathUtf8: the archive as the handle API opens it.
    ReaderArchive(std::string pathUtf8, PasswordAnswers &answers);
    ~ReaderArchive() { qm_close(archive_); }
    ReaderArchive(const ReaderArchive &) = delete;
    ReaderArchive &operator=(const ReaderArchive &) = delete;

    // (Re)opens the archive; 0 or a negative QM_E_ code.
    int Open(const ReaderPasswords &passwords);
    qm_archive *get() const { return archive_; }

    // The passwords the open archive holds now: the header password that
    // opened it and the last data password it was given.
    const ReaderPasswords &holding() const { return holding_; }

    // The entry whose data is read next, for the data question (its index
    // counts the attempts of typed passwords).
    void BeginEntry(int index, const Entry &entry);
    // True when a data question about the current entry was declined.
    bool declined() const { return declined_; }

private:
    static int QM_READER_CALL Answer(void *user, int kind, const char *name, char *answer,
                                     size_t size);

    std::string path_;
    PasswordAnswers &answers_;
    qm_archive *archive_ = nullptr;
    ReaderPasswords holding_;
    int entryIndex_ = -1;
    const Entry *entry_ = nullptr;
    bool declined_ = false;
};

}  // namespace quill
