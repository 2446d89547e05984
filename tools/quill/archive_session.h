// archive_session.h - an open archive and a mask list, closed on every exit.
#pragma once

#include <cstdint>
#include <ostream>

#include "quill/command_line.h"
#include "quill/password_answers.h"
#include "quillmark.h"

namespace quill {

// The library's password callback, answered by the PasswordAnswers object
// registered as the user value.
int32_t QM_CALL AnswerPasswordQuestion(QmUserValue user, char *buffer, const char *name,
                                       int32_t kind);

// Opens the archive with the -p password; the outcome is in status().
// A successful open empties the library's callback slots, so the password
// callback is registered again afterwards.
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

// The command line's masks as a library mask list; none selects every entry.
class MaskList {
public:
    MaskList() { InitFileMaskList(&list_); }
    ~MaskList() { DoneFileMaskList(&list_); }
    MaskList(const MaskList &) = delete;
    MaskList &operator=(const MaskList &) = delete;

    // false when the library could not take a mask; its status says why.
    bool Fill(const CommandLine &line);
    const FileMaskList *get() const { return &list_; }

private:
    FileMaskList list_;
};

// Writes "quill: ARCHIVE: message" for a status (and why a password
// question was declined, if one was) and returns exit code 1.
int ReportFailure(std::ostream &err, const CommandLine &line, uint16_t status,
                  const PasswordAnswers &answers);

}  // namespace quill
