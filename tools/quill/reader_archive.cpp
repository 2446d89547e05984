// reader_archive.cpp - opening through the handle API and answering its
// password questions (see reader_archive.h).
#include "quill/reader_archive.h"

#include <cstring>
#include <utility>

#include "quill/codepage.h"

namespace quill {

namespace {

constexpr size_t kAnswerSize = 256;  // the library's own password buffers

// Writes a library password as the handle API's UTF-8 answer.
bool Give(char *answer, size_t size, const std::string &password)
{
    const std::string utf8 = Utf8FromLibraryText(password);
    if (!answer || utf8.size() >= size)
        return false;
    std::memcpy(answer, utf8.c_str(), utf8.size() + 1);
    return true;
}

}  // namespace

ReaderArchive::ReaderArchive(std::string pathUtf8, PasswordAnswers &answers)
    : path_(std::move(pathUtf8)), answers_(answers)
{
}

int ReaderArchive::Open(const ReaderPasswords &passwords)
{
    qm_close(archive_);
    archive_ = nullptr;
    holding_ = passwords;
    const std::string header = passwords.header ? Utf8FromLibraryText(*passwords.header) : std::string();
    const std::string data = passwords.data ? Utf8FromLibraryText(*passwords.data) : std::string();
    qm_options options{};
    options.size = sizeof options;
    options.header_password = passwords.header ? header.c_str() : nullptr;
    options.data_password = passwords.data ? data.c_str() : nullptr;
    options.password_callback = Answer;
    options.user = this;
    return qm_open_file(path_.c_str(), &options, &archive_);
}

void ReaderArchive::BeginEntry(int index, const Entry &entry)
{
    entryIndex_ = index;
    entry_ = &entry;
    declined_ = false;
}

int QM_READER_CALL ReaderArchive::Answer(void *user, int kind, const char *, char *answer, size_t size)
{
    auto *self = static_cast<ReaderArchive *>(user);
    char buffer[kAnswerSize] = {};
    if (kind == QM_PASSWORD_HEADER) {
        if (!self->answers_.AnswerHeader(buffer, sizeof buffer) || !Give(answer, size, buffer))
            return 0;
        self->holding_.header = buffer;
        return 1;
    }
    // Asked before the data of the current entry, holding no data password.
    if (kind != QM_PASSWORD_DATA || !self->entry_) {
        self->declined_ = true;
        return self->answers_.Decline(PasswordAnswers::Refusal::UnknownKind);
    }
    const Entry &entry = *self->entry_;
    if (!self->answers_.AnswerData(buffer, sizeof buffer, entry.name, entry.cipherMethod,
                                   self->entryIndex_, false) ||
        !Give(answer, size, buffer)) {
        self->declined_ = true;
        return 0;
    }
    self->holding_.data = buffer;
    return 1;
}

}  // namespace quill
