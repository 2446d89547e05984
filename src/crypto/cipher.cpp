// cipher.cpp - the password digest, key selection and buffer deciphering.
#include "crypto/cipher.h"

#include <cstddef>
#include <cstring>

#include "crypto/md5.h"

namespace qm {

namespace {

// A password buffer is 256 bytes, its NUL included.
constexpr std::size_t kMaxPasswordLength = 255;

}  // namespace

void PasswordDigest(const char *password, std::uint8_t digest[16])
{
    // Stop at the NUL or after 255 bytes, so an unterminated password is
    // never read past its buffer.
    std::uint8_t work[kMaxPasswordLength + 1] = {};
    std::size_t length = 0;
    if (password != nullptr)
        while (length < kMaxPasswordLength && password[length] != '\0') {
            work[length] = static_cast<std::uint8_t>(password[length]);
            ++length;
        }
    Md5(work, length, digest);
}

void DataCipher::SelectKey(const char *password, CipherMethod method)
{
    if (method != 0 && method != 1)
        return;
    std::uint8_t digest[16];
    PasswordDigest(password, digest);
    primary = {};
    BuildDesSchedule(digest, DesDirection::Decrypt, primary);
    if (method == 1) {
        secondary = {};
        BuildDesSchedule(digest + 8, DesDirection::Encrypt, secondary);
    }
}

void DataCipher::SetIv(const std::uint8_t iv[8]) { std::memcpy(chaining, iv, 8); }

void DataCipher::Decipher(std::uint8_t *buffer, std::int32_t length, CipherMethod method)
{
    if (buffer == nullptr || length <= 0 || (method != 0 && method != 1))
        return;
    // A short last block is processed as 8 whole bytes.
    const std::size_t blocks = (static_cast<std::size_t>(length) + 7) / 8;
    if (method == 0)
        DesBlocks(buffer, blocks, primary);
    else
        TripleDesCbcDecipher(buffer, blocks, primary, secondary, chaining);
}

}  // namespace qm
