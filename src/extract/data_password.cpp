#include "extract/data_password.h"

#include <cstring>

#include "extract/export_session.h"

namespace qm {

namespace {

constexpr std::size_t kAnswerBytes = 250;  // zeroed before each question
constexpr std::size_t kNameBytes = 256;

}  // namespace

PasswordAnswer AskDataPassword(const ExportSession &session, const char *storedName)
{
    PasswordAnswer answer;
    std::memset(&answer, 0, sizeof answer);
    char name[kNameBytes] = {};
    std::memcpy(name, storedName, strnlen(storedName, kNameBytes - 1));

    const auto &slot = session.callbacks.cryptKey;
    answer.result = slot.proc(slot.user, answer.password, name, 0);
    // The host was given 250 bytes: whatever it wrote, the password ends there.
    answer.password[kAnswerBytes - 1] = '\0';
    return answer;
}

void TakeDataPassword(ExportSession &session, const PasswordAnswer &answer)
{
    char *password = session.archive.DataPassword;
    std::memset(password, 0, sizeof session.archive.DataPassword);
    std::memcpy(password, answer.password, std::strlen(answer.password));
}

bool EnsureDataPassword(ExportSession &session, const char *storedName)
{
    if (session.archive.DataPassword[0] == '\0') {
        if (!session.callbacks.cryptKey.proc)
            return false;
        const PasswordAnswer answer = AskDataPassword(session, storedName);
        if (answer.result == 0) {
            session.status = QM_STATUS_BAD_PASSWORD;
            return false;
        }
        if (answer.result != 1)
            return false;
        TakeDataPassword(session, answer);
    }
    session.cipher.SelectKey(session.archive.DataPassword, session.transfer.activeCipher);
    return true;
}

}  // namespace qm
