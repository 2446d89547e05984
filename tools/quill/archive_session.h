// archive_session.h - an open archive, its entries and a mask list, each
// released on every exit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quill/command_line.h"
#include "quill/password_answers.h"
#include "quillmark.h"

namespace quill {

// The library's password callback for list builds and the open: header
// questions go to the PasswordAnswers registered as the user value; a data
// question (never asked outside an extraction) is declined.
int32_t QM_CALL AnswerHeaderQuestion(QmUserValue user, char *buffer, const char *name,
                                     int32_t kind);

// Opens the archive with the -p and -H passwords; the outcome is in status().
// The password callback is registered before the open, so that it answers
// the header-password question, and again after it (a successful open
// empties the slot), so that a header block that does not decipher later
// ends a list build with a status instead of silently.
class ArchiveSession {
public:
    ArchiveSession(const CommandLine &line, PasswordAnswers &answers);
    // The callback points at the caller's answers: take it back, then close.
    ~ArchiveSession()
    {
        SetSetCryptKeyProc(0, nullptr);
        DoneArcFile(0);
    }
    ArchiveSession(const ArchiveSession &) = delete;
    ArchiveSession &operator=(const ArchiveSession &) = delete;

    uint16_t status() const { return status_; }

private:
    uint16_t status_;
};

// A library mask list; none selects every entry.
class MaskList {
public:
    MaskList() { InitFileMaskList(&list_); }
    ~MaskList() { DoneFileMaskList(&list_); }
    MaskList(const MaskList &) = delete;
    MaskList &operator=(const MaskList &) = delete;

    // false when the library could not take a mask; its status says why.
    bool Fill(const std::vector<std::string> &masks);
    const FileMaskList *get() const { return &list_; }

private:
    FileMaskList list_;
};

// One entry as the library's list build reads it.
struct Entry {
    std::string name;       // stored name, Windows-1252, backslashes
    int64_t packedSize;     // sign-extended, as the public list shows it
    int64_t unpackedSize;
    uint32_t dosDateTime;
    uint32_t attributes;
    int32_t cipherMethod;   // -1 none, 0 DES, 1 triple DES, 2 chaining value only
};

// The entries that match the masks, in archive order, and the status the
// list build ended with: the entries read before a damaged header block are
// kept.
struct EntryWalk {
    std::vector<Entry> entries;
    uint16_t status = QM_STATUS_OK;
};
EntryWalk WalkEntries(const MaskList &masks);

}  // namespace quill
