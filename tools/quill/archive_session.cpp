// archive_session.cpp - opening the archive and walking its entries.
#include "quill/archive_session.h"

#include <cstring>

namespace quill {

int32_t QM_CALL AnswerHeaderQuestion(QmUserValue user, char *buffer, const char *, int32_t kind)
{
    auto *answers = reinterpret_cast<PasswordAnswers *>(user);
    // Kind 1 hands over the 256-byte header-password buffer.
    if (kind != 1)
        return answers->Decline(PasswordAnswers::Refusal::UnknownKind);
    return answers->AnswerHeader(buffer, 256);
}

ArchiveSession::ArchiveSession(const CommandLine &line, PasswordAnswers &answers)
{
    const auto user = reinterpret_cast<QmUserValue>(&answers);
    SetSetCryptKeyProc(user, AnswerHeaderQuestion);

    static ArcOpenParams params;  // 3 KiB: not on the stack
    std::memset(&params, 0, sizeof params);
    std::memcpy(params.dataPassword, line.password.c_str(), line.password.size() + 1);
    std::memcpy(params.headerPassword, line.headerPassword.c_str(),
                line.headerPassword.size() + 1);

    SetArchiveStatus(QM_STATUS_OK);
    InitHidFile(line.archive.c_str(), &params);
    status_ = GetArchiveStatus();
    std::memset(&params, 0, sizeof params);  // no password lingers in quill
    if (status_ == QM_STATUS_OK)
        answers.ArchiveOpened();
    SetSetCryptKeyProc(user, AnswerHeaderQuestion);
}

bool MaskList::Fill(const std::vector<std::string> &masks)
{
    for (const auto &mask : masks)
        if (!AppendFileMask(mask.c_str(), &list_))
            return false;
    return true;
}

EntryWalk WalkEntries(const MaskList &masks)
{
    EntryWalk walk;
    HidFileList list;
    InitHidFileList(&list);
    SetArchiveStatus(QM_STATUS_OK);
    BuildHidFileList(&list, masks.get());
    walk.status = GetArchiveStatus();
    for (const HidFileItem *item = list.first; item; item = item->next) {
        walk.entries.push_back({std::string(item->name, strnlen(item->name, sizeof item->name)),
                                item->packedSize, item->unpackedSize, item->dosDateTime,
                                item->attributes, item->cipherMethod});
    }
    DoneHidFileList(&list);
    return walk;
}

}  // namespace quill
