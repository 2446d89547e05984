// data_password.h - the data password of an extraction run.
//
// The session holds one data password (given at open, or asked from the
// host).  Before each entry the driver makes sure one is held: when the
// session has none, the host is asked through its SetCryptKeyProc (kind 0)
// whatever the entry's cipher method, so the first entry of a plain archive
// asks too.  A password once given serves every later entry and run of the
// session.  After a CRC mismatch of an enciphered entry the host is asked
// again, and an answer of 1 replaces the password.
#pragma once

#include <cstdint>

namespace qm {

struct ExportSession;

// The host's answer to a data-password question.
struct PasswordAnswer {
    std::int32_t result;  // 0 gives up, 1 supplies a password
    char password[256];   // at most 249 characters and a NUL
};

// Asks the session's SetCryptKeyProc (which must be there) for the data
// password of the entry with this stored name.  The host gets a zero-filled
// answer buffer and a copy of the name, never the entry itself.
PasswordAnswer AskDataPassword(const ExportSession &session, const char *storedName);

// Makes the answer the session's data password.
void TakeDataPassword(ExportSession &session, const PasswordAnswer &answer);

// True when a key for the entry's cipher is selected; false when the run
// must end (no SetCryptKeyProc, or the host did not answer 1; an answer of 0
// sets status 9961).
bool EnsureDataPassword(ExportSession &session, const char *storedName);

}  // namespace qm
