// cipher.cpp - placeholder: selects nothing and deciphers nothing until the
// MD5 and DES code lands.
#include "crypto/cipher.h"

#include <cstring>

namespace qm {

void PasswordDigest(const char *, std::uint8_t digest[16]) { std::memset(digest, 0, 16); }

void CipherSelectKey(const char *, CipherMethod) {}

void CipherSetIv(const std::uint8_t *) {}

void CipherDecipherBuffer(std::uint8_t *, std::int32_t, CipherMethod) {}

}  // namespace qm
