// archive_session.cpp - opening the archive for a command.
#include "quill/archive_session.h"

#include <cstring>

#include "quill/codepage.h"
#include "quill/status_text.h"

namespace quill {

int32_t QM_CALL AnswerPasswordQuestion(QmUserValue user, char *buffer, const char *name,
                                       int32_t kind)
{
    auto *answers = reinterpret_cast<PasswordAnswers *>(user);
    // Kind 1 hands over the 256-byte header-password buffer, kind 0 the
    // 250-byte answer buffer.
    const size_t capacity = kind == 1 ? 256 : 250;
    return answers->Answer(buffer, capacity, name, kind);
}

ArchiveSession::ArchiveSession(const CommandLine &line, PasswordAnswers &answers)
{
    const auto user = reinterpret_cast<QmUserValue>(&answers);
    // Registered before the open, the callback answers the header-password
    // question; the header password field stays empty so that the library
    // first tries the empty password itself.
    SetSetCryptKeyProc(user, AnswerPasswordQuestion);

    static ArcOpenParams params;  // 3 KiB: not on the stack
    std::memset(&params, 0, sizeof params);
    std::memcpy(params.dataPassword, line.password.c_str(), line.password.size() + 1);

    SetArchiveStatus(QM_STATUS_OK);
    InitHidFile(line.archive.c_str(), &params);
    status_ = GetArchiveStatus();
    SetSetCryptKeyProc(user, AnswerPasswordQuestion);
}

bool MaskList::Fill(const CommandLine &line)
{
    for (const auto &mask : line.masks)
        if (!AppendFileMask(mask.c_str(), &list_))
            return false;
    return true;
}

int ReportFailure(std::ostream &err, const CommandLine &line, uint16_t status,
                  const PasswordAnswers &answers)
{
    err << "quill: " << FromLibraryPath(line.archive) << ": " << StatusText(status)
        << " (status " << status << ")\n";
    if (status == QM_STATUS_BAD_PASSWORD && !answers.refusal().empty())
        err << "quill: " << answers.refusal() << "\n";
    return 1;
}

}  // namespace quill
