// entry_check.cpp - reading an entry through to its CRC (see entry_check.h).
#include "quill/entry_check.h"

#include "quill/codepage.h"
#include "quillmark_reader.h"

namespace quill {

namespace {

// Large enough that the calls cost nothing beside the decoding, small
// enough that Ctrl-C and the progress line are seen at once.
constexpr size_t kPiece = 256 * 1024;

}  // namespace

EntryChecker::EntryChecker(ReaderArchive &archive, PasswordAnswers &answers, Display &display,
                           Console &console)
    : archive_(archive), answers_(answers), display_(display), console_(console),
      buffer_(new char[kPiece])
{
}

int EntryChecker::ReadThrough(const Entry &entry)
{
    const int64_t start = bytesDone_;
    const std::string shown = FromLibraryText(entry.name);
    int64_t read = 0;
    for (;;) {
        if (console_.StopRequested()) {
            bytesDone_ = start + read;
            return QM_E_CANCELLED;
        }
        const int64_t n = qm_read_data(archive_.get(), buffer_.get(), kPiece);
        if (n <= 0) {
            // A failed attempt gives its bytes back to the progress line.
            bytesDone_ = n == 0 ? start + read : start;
            return static_cast<int>(n);
        }
        read += n;
        const int32_t percent =
            entry.unpackedSize > 0 ? static_cast<int32_t>(read * 100 / entry.unpackedSize) : 100;
        display_.Update(shown, percent > 100 ? 100 : percent, start + read);
    }
}

int EntryChecker::Reopen(int index, const Entry &entry, const std::string &password)
{
    ReaderPasswords passwords = archive_.holding();
    passwords.data = password;
    if (const int r = archive_.Open(passwords); r < 0)
        return r;
    for (int i = 0; i <= index; ++i) {
        const qm_entry *e = nullptr;
        const int r = qm_next_entry(archive_.get(), &e);
        if (r != 0)
            return r < 0 ? r : QM_E_DAMAGED;  // the archive changed under us
    }
    archive_.BeginEntry(index, entry);
    return 0;
}

int EntryChecker::Check(int index, const Entry &entry)
{
    archive_.BeginEntry(index, entry);
    for (;;) {
        const int r = ReadThrough(entry);
        // A password the handle tried and that does not fit; a declined
        // question is final.
        if (r != QM_E_BAD_PASSWORD || archive_.declined())
            return r;
        char answer[256] = {};
        display_.ClearProgress();
        if (!answers_.AnswerData(answer, sizeof answer, entry.name, entry.cipherMethod, index, true))
            return r;
        if (const int opened = Reopen(index, entry, answer); opened < 0)
            return opened;
    }
}

}  // namespace quill
