// MD5 and the password digest against the RFC 1321 test suite.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "crypto/md5.h"

namespace {

std::string Hex(const std::uint8_t *p, std::size_t n)
{
    std::string s;
    char buf[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", p[i]);
        s += buf;
    }
    return s;
}

struct Md5Case {
    const char *message;
    const char *digest;
};

// The test suite of RFC 1321: its messages end inside the first block, on
// both sides of the 56-byte mark, and past one whole block.
const Md5Case kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, Rfc1321TestSuite)
{
    for (const Md5Case &c : kRfc1321Suite) {
        std::uint8_t digest[16];
        qm::Md5(reinterpret_cast<const std::uint8_t *>(c.message), std::strlen(c.message), digest);
        EXPECT_EQ(Hex(digest, 16), c.digest) << '"' << c.message << '"';

        // A password is digested as its bytes before the NUL, nothing more.
        std::uint8_t fromPassword[16];
        qm::PasswordDigest(c.message, fromPassword);
        EXPECT_EQ(Hex(fromPassword, 16), c.digest) << '"' << c.message << '"';
    }
}

TEST(PasswordDigest, NullCountsAsTheEmptyPassword)
{
    std::uint8_t digest[16];
    qm::PasswordDigest(nullptr, digest);
    EXPECT_EQ(Hex(digest, 16), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(PasswordDigest, TakesAtMost255BytesAndReadsNoFurther)
{
    auto digestOf = [](const std::vector<char> &bytes, std::size_t n) {
        std::uint8_t d[16];
        qm::Md5(reinterpret_cast<const std::uint8_t *>(bytes.data()), n, d);
        return Hex(d, 16);
    };

    // 255 bytes and a NUL: digested whole.
    std::vector<char> full(256, 'k');
    full[254] = 'z';
    full[255] = '\0';
    std::uint8_t digest[16];
    qm::PasswordDigest(full.data(), digest);
    EXPECT_EQ(Hex(digest, 16), digestOf(full, 255));
    EXPECT_NE(Hex(digest, 16), digestOf(full, 254));

    // A 256-byte buffer without a NUL: the first 255 bytes count, and the
    // sanitizers see that nothing past the buffer is read.
    std::vector<char> unterminated(256, 'k');
    qm::PasswordDigest(unterminated.data(), digest);
    EXPECT_EQ(Hex(digest, 16), digestOf(unterminated, 255));
}

}  // namespace
