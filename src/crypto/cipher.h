// cipher.h - the password digest and the data and header ciphers.
//
// A password becomes 16 bytes of key material through MD5.  Method 0 keys
// single DES with bytes 0-7 and deciphers each 8-byte block on its own;
// method 1 is two-key triple DES (EDE) in CBC mode, K1 = bytes 0-7,
// K2 = bytes 8-15, with a chaining value that persists between calls.  Method
// 2 has a chaining value ahead of the data but leaves the data as it is; -1
// and every other code mean no cipher.
//
// A DataCipher is one key state: every selection replaces the previous one.
#pragma once

#include <cstdint>

#include "crypto/des.h"
#include "quillmark.h"

namespace qm {

using CipherMethod = std::int32_t;

// MD5 of the password's bytes before its NUL.  The password is taken into a
// 256-byte work area, so at most its first 255 bytes count; a null pointer
// counts as the empty password.
void PasswordDigest(const char *password, std::uint8_t digest[16]);

// One key state: the schedules of a password and the CBC chaining value.
class DataCipher {
public:
    // Digests the password and builds the key schedules for method 0 or 1;
    // other methods change nothing.
    void SelectKey(const char *password, CipherMethod method);
    // Loads the 8-byte CBC chaining value.
    void SetIv(const std::uint8_t iv[8]);
    // Deciphers in place.  The last block is always processed as 8 whole
    // bytes, so the buffer must have room for the length rounded up to a
    // multiple of 8.  Methods other than 0 and 1, and lengths of 0 or less,
    // change nothing.
    void Decipher(std::uint8_t *buffer, std::int32_t length, CipherMethod method);

    // Method 0 uses primary; method 1 uses both and the chaining value.
    DesSchedule primary{};    // K1, decryption order
    DesSchedule secondary{};  // K2, encryption order (method 1)
    std::uint8_t chaining[8]{};
};

}  // namespace qm
