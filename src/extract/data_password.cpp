#include "extract/data_password.h"

#include <cstring>

#include "state/callbacks.h"
#include "state/status.h"
#include "container/session.h"
#include "crypto/cipher.h"
#include "extract/pipeline.h"

namespace qm {

namespace {

constexpr std::size_t kAnswerBytes = 250;  // zeroed before each question
constexpr std::size_t kNameBytes = 256;

}  // namespace

PasswordAnswer AskDataPassword(const char *storedName)
{
    PasswordAnswer answer;
    std::memset(&answer, 0, sizeof answer);
    char name[kNameBytes] = {};
    std::memcpy(name, storedName, strnlen(storedName, kNameBytes - 1));

    const auto &slot = Callbacks.cryptKey;
    answer.result = slot.proc(slot.user, answer.password, name, 0);
    // The host was given 250 bytes: whatever it wrote, the password ends there.
    answer.password[kAnswerBytes - 1] = '\0';
    return answer;
}

void TakeDataPassword(const PasswordAnswer &answer)
{
    std::memset(Session.DataPassword, 0, sizeof Session.DataPassword);
    std::memcpy(Session.DataPassword, answer.password, std::strlen(answer.password));
}

bool EnsureDataPassword(const char *storedName)
{
    if (Session.DataPassword[0] == '\0') {
        if (!Callbacks.cryptKey.proc)
            return false;
        const PasswordAnswer answer = AskDataPassword(storedName);
        if (answer.result == 0) {
            ArchiveStatus = QM_STATUS_BAD_PASSWORD;
            return false;
        }
        if (answer.result != 1)
            return false;
        TakeDataPassword(answer);
    }
    CipherSelectKey(Session.DataPassword, ActiveCipher);
    return true;
}

}  // namespace qm
