// Key selection and buffer deciphering over the global key state: every
// method code, the whole-block rule, chaining across calls.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crypto/cipher.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string &hex)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes Pattern(std::size_t n, unsigned seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>((i * 131 + seed * 17 + (i >> 3)) & 0xFF);
    return b;
}

bool SameSchedule(const qm::DesSchedule &a, const qm::DesSchedule &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The key material of "secret" is MD5 5ebe2294ecd0e0f0 8eab7690d2a6ee69; the
// enciphered bytes were made with OpenSSL (des-ecb and des-ede-cbc).
TEST(Cipher, PasswordKeysDesAndTripleDesKnownAnswers)
{
    qm::DataCipher cipher;
    Bytes block = FromHex("17694b6a4dadad6d");
    cipher.SelectKey("secret", 0);
    cipher.Decipher(block.data(), 8, 0);
    EXPECT_EQ(std::string(block.begin(), block.end()), "Header!!");

    Bytes data = FromHex("4d89c8414f7bf0b21c01801ea23de153c9f6275781e4b6f858e9c0abf3e8bd30");
    const Bytes iv = FromHex("0001020304050607");
    cipher.SelectKey("secret", 1);
    cipher.SetIv(iv.data());
    cipher.Decipher(data.data(), static_cast<std::int32_t>(data.size()), 1);
    EXPECT_EQ(std::string(data.begin(), data.end()), "Quillmark data under triple DES!");
}

TEST(Cipher, MethodsWithoutACipherChangeNothing)
{
    qm::DataCipher cipher;
    cipher.SelectKey("first", 1);
    const qm::DesSchedule primary = cipher.primary, secondary = cipher.secondary;
    const Bytes plain = Pattern(64, 1);
    for (qm::CipherMethod method : {-1, 2, 3, 7, -2, INT_MAX, INT_MIN}) {
        cipher.SelectKey("second", method);
        EXPECT_TRUE(SameSchedule(cipher.primary, primary)) << "method " << method;
        EXPECT_TRUE(SameSchedule(cipher.secondary, secondary)) << "method " << method;
        Bytes buffer = plain;
        cipher.Decipher(buffer.data(), 64, method);
        EXPECT_EQ(buffer, plain) << "method " << method;
    }
}

TEST(Cipher, SelectingSingleDesKeepsTheSecondSchedule)
{
    qm::DataCipher cipher;
    cipher.SelectKey("triple", 1);
    const qm::DesSchedule secondary = cipher.secondary;
    const qm::DesSchedule tripleFirst = cipher.primary;
    cipher.SelectKey("single", 0);
    EXPECT_TRUE(SameSchedule(cipher.secondary, secondary));
    EXPECT_FALSE(SameSchedule(cipher.primary, tripleFirst));
}

TEST(Cipher, LengthsOfZeroOrLessChangeNothing)
{
    qm::DataCipher cipher;
    const Bytes plain = Pattern(16, 2);
    for (qm::CipherMethod method : {0, 1})
        for (std::int32_t length : {0, -1, -8, INT_MIN}) {
            cipher.SelectKey("pw", method);
            const Bytes iv = Pattern(8, 3);
            cipher.SetIv(iv.data());
            Bytes buffer = plain;
            cipher.Decipher(buffer.data(), length, method);
            EXPECT_EQ(buffer, plain) << "method " << method << " length " << length;
            EXPECT_EQ(Bytes(cipher.chaining, cipher.chaining + 8), iv);
        }
}

// A header block is 432 bytes: 54 blocks, each deciphered on its own.
TEST(Cipher, SingleDesDeciphersEachBlockOnItsOwn)
{
    qm::DataCipher cipher;
    cipher.SelectKey("header password", 0);
    const Bytes enciphered = Pattern(432, 4);
    Bytes whole = enciphered;
    cipher.Decipher(whole.data(), 432, 0);
    for (std::size_t at = 0; at < 432; at += 8) {
        Bytes one(enciphered.begin() + at, enciphered.begin() + at + 8);
        qm::DesBlock(one.data(), cipher.primary);
        EXPECT_TRUE(std::equal(one.begin(), one.end(), whole.begin() + at)) << "block " << at / 8;
    }
    // Blocks are independent: the same enciphered block gives the same bytes
    // anywhere in the buffer.
    Bytes repeated(432);
    for (std::size_t at = 0; at < 432; at += 8)
        std::memcpy(repeated.data() + at, enciphered.data(), 8);
    cipher.Decipher(repeated.data(), 432, 0);
    for (std::size_t at = 8; at < 432; at += 8)
        EXPECT_EQ(std::memcmp(repeated.data(), repeated.data() + at, 8), 0);
}

TEST(Cipher, TripleDesStreamMaySplitIntoPiecesOfWholeBlocks)
{
    qm::DataCipher cipher;
    const Bytes enciphered = Pattern(8 * 300, 5);
    const Bytes iv = Pattern(8, 6);

    cipher.SelectKey("stream", 1);
    cipher.SetIv(iv.data());
    Bytes once = enciphered;
    cipher.Decipher(once.data(), static_cast<std::int32_t>(once.size()), 1);

    const std::size_t splits[][4] = {{8, 16, 24, 2352}, {2392, 8, 0, 0}, {1024, 1024, 0, 352}};
    for (const auto &split : splits) {
        cipher.SelectKey("stream", 1);
        cipher.SetIv(iv.data());
        Bytes pieces = enciphered;
        std::size_t at = 0;
        for (std::size_t n : split) {
            cipher.Decipher(pieces.data() + at, static_cast<std::int32_t>(n), 1);
            at += n;
        }
        ASSERT_EQ(at, pieces.size());
        EXPECT_EQ(pieces, once) << "first piece " << split[0];
    }
}

TEST(Cipher, TripleDesChainsOnTheEncipheredBlockBefore)
{
    qm::DataCipher cipher;
    const Bytes enciphered = Pattern(64, 7);
    auto decipher = [&](const Bytes &iv, Bytes data) {
        cipher.SelectKey("chain", 1);
        cipher.SetIv(iv.data());
        cipher.Decipher(data.data(), static_cast<std::int32_t>(data.size()), 1);
        return data;
    };
    const Bytes ivA = Pattern(8, 8), ivB = Pattern(8, 9);
    const Bytes a = decipher(ivA, enciphered), b = decipher(ivB, enciphered);

    // Only the first block depends on the loaded chaining value, and it
    // differs by exactly the difference of the two values.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(a[i] ^ b[i], ivA[i] ^ ivB[i]);
    EXPECT_TRUE(std::equal(a.begin() + 8, a.end(), b.begin() + 8));

    // Changing one enciphered block changes its own plaintext and the next
    // block's, nothing else.
    Bytes changed = enciphered;
    changed[3 * 8 + 2] ^= 0x40;
    const Bytes c = decipher(ivA, changed);
    for (std::size_t block = 0; block < 8; ++block) {
        const bool same = std::equal(a.begin() + 8 * block, a.begin() + 8 * block + 8, c.begin() + 8 * block);
        EXPECT_EQ(same, block != 3 && block != 4) << "block " << block;
    }
    EXPECT_EQ(a[4 * 8 + 2] ^ c[4 * 8 + 2], 0x40);
}

// A length that is not a multiple of 8 deciphers its last block whole, and
// nothing past the length rounded up to 8 is touched.
TEST(Cipher, ShortLastBlockIsProcessedWhole)
{
    qm::DataCipher cipher;
    const Bytes iv = Pattern(8, 10);
    for (qm::CipherMethod method : {0, 1})
        for (std::int32_t length : {1, 7, 9, 15, 17, 431, 435}) {
            const std::size_t rounded = (static_cast<std::size_t>(length) + 7) / 8 * 8;
            const Bytes enciphered = Pattern(rounded, 11);

            cipher.SelectKey("short", method);
            cipher.SetIv(iv.data());
            Bytes expected = enciphered;
            cipher.Decipher(expected.data(), static_cast<std::int32_t>(rounded), method);

            cipher.SelectKey("short", method);
            cipher.SetIv(iv.data());
            Bytes buffer = enciphered;
            buffer.resize(rounded + 16, 0xEE);  // guard bytes
            cipher.Decipher(buffer.data(), length, method);

            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()))
                << "method " << method << " length " << length;
            EXPECT_EQ(Bytes(buffer.begin() + static_cast<std::ptrdiff_t>(rounded), buffer.end()),
                      Bytes(16, 0xEE))
                << "method " << method << " length " << length;
            if (method == 1) {  // the chaining value holds the whole last block
                EXPECT_TRUE(std::equal(cipher.chaining, cipher.chaining + 8, enciphered.end() - 8));
            }
        }
}

// Deciphering works on the caller's buffer exactly: a heap buffer of the
// rounded-up size lets the sanitizers see any stray access.
TEST(Cipher, StaysInsideARoundedUpHeapBuffer)
{
    qm::DataCipher cipher;
    for (qm::CipherMethod method : {0, 1})
        for (std::int32_t length = 1; length <= 70; ++length) {
            const std::size_t rounded = (static_cast<std::size_t>(length) + 7) / 8 * 8;
            std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[rounded]());
            cipher.SelectKey("bounds", method);
            cipher.Decipher(buffer.get(), length, method);
        }
}

}  // namespace
