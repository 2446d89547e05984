// MD5, DES and two-key triple DES against OpenSSL's libcrypto on random keys,
// passwords, chaining values and buffers.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <gtest/gtest.h>
#include <openssl/des.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "crypto/des.h"
#include "crypto/md5.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::mt19937 &rng, std::size_t n)
{
    Bytes b(n);
    for (auto &v : b)
        v = static_cast<std::uint8_t>(rng());
    return b;
}

// A password of n bytes, none of them NUL.
std::string RandomPassword(std::mt19937 &rng, std::size_t n)
{
    std::string s(n, ' ');
    for (auto &c : s)
        c = static_cast<char>(1 + rng() % 255);
    return s;
}

Bytes OpenSslMd5(const void *data, std::size_t n)
{
    Bytes d(16);
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(data, n, d.data(), &size, EVP_md5(), nullptr), 1);
    return d;
}

DES_key_schedule OpenSslKey(const std::uint8_t *key)
{
    DES_cblock block;
    std::memcpy(block, key, 8);
    DES_key_schedule s;
    DES_set_key_unchecked(&block, &s);
    return s;
}

Bytes OpenSslEcbDecrypt(const Bytes &in, const std::uint8_t *key)
{
    DES_key_schedule s = OpenSslKey(key);
    Bytes out(in.size());
    for (std::size_t at = 0; at < in.size(); at += 8) {
        DES_cblock i, o;
        std::memcpy(i, in.data() + at, 8);
        DES_ecb_encrypt(&i, &o, &s, DES_DECRYPT);
        std::memcpy(out.data() + at, o, 8);
    }
    return out;
}

Bytes OpenSslEdeCbcDecrypt(const Bytes &in, const std::uint8_t *key16, const Bytes &iv)
{
    DES_key_schedule k1 = OpenSslKey(key16), k2 = OpenSslKey(key16 + 8);
    DES_cblock chaining;
    std::memcpy(chaining, iv.data(), 8);
    Bytes out(in.size());
    DES_ede3_cbc_encrypt(in.data(), out.data(), static_cast<long>(in.size()), &k1, &k2, &k1, &chaining,
                         DES_DECRYPT);
    return out;
}

TEST(CryptoAgainstOpenSsl, Md5OfEveryLengthAroundTheBlockBoundaries)
{
    std::mt19937 rng(1);
    for (std::size_t n = 0; n <= 300; ++n) {
        const Bytes data = RandomBytes(rng, n);
        Bytes ours(16);
        qm::Md5(data.data(), n, ours.data());
        EXPECT_EQ(ours, OpenSslMd5(data.data(), n)) << n << " bytes";
    }
    const Bytes big = RandomBytes(rng, 1 << 20);
    Bytes ours(16);
    qm::Md5(big.data(), big.size(), ours.data());
    EXPECT_EQ(ours, OpenSslMd5(big.data(), big.size()));
}

TEST(CryptoAgainstOpenSsl, PasswordDigestOfRandomPasswords)
{
    std::mt19937 rng(2);
    std::vector<std::string> passwords = {"", RandomPassword(rng, 255), RandomPassword(rng, 1)};
    for (int i = 0; i < 200; ++i)
        passwords.push_back(RandomPassword(rng, rng() % 256));
    for (const std::string &p : passwords) {
        Bytes ours(16);
        qm::PasswordDigest(p.c_str(), ours.data());
        EXPECT_EQ(ours, OpenSslMd5(p.data(), p.size())) << p.size() << " bytes";
    }
}

TEST(CryptoAgainstOpenSsl, DesBlockWithRandomKeysBothWays)
{
    std::mt19937 rng(3);
    for (int i = 0; i < 2000; ++i) {
        const Bytes key = RandomBytes(rng, 8);  // parity bits random too
        const Bytes block = RandomBytes(rng, 8);
        DES_key_schedule theirs = OpenSslKey(key.data());
        for (qm::DesDirection dir : {qm::DesDirection::Encrypt, qm::DesDirection::Decrypt}) {
            qm::DesSchedule ours;
            qm::BuildDesSchedule(key.data(), dir, ours);
            Bytes mine = block;
            qm::DesBlock(mine.data(), ours);
            DES_cblock in, out;
            std::memcpy(in, block.data(), 8);
            DES_ecb_encrypt(&in, &out, &theirs, dir == qm::DesDirection::Encrypt ? DES_ENCRYPT : DES_DECRYPT);
            EXPECT_EQ(std::memcmp(mine.data(), out, 8), 0) << "round " << i;
        }
    }
}

TEST(CryptoAgainstOpenSsl, SingleDesBuffersUnderRandomPasswords)
{
    qm::DataCipher cipher;
    std::mt19937 rng(4);
    for (int i = 0; i < 100; ++i) {
        const std::string password = RandomPassword(rng, i == 0 ? 0 : i == 1 ? 255 : rng() % 40);
        const Bytes key = OpenSslMd5(password.data(), password.size());
        const Bytes enciphered = RandomBytes(rng, 8 * (rng() % 600));
        cipher.SelectKey(password.c_str(), 0);
        Bytes ours = enciphered;
        cipher.Decipher(ours.data(), static_cast<std::int32_t>(ours.size()), 0);
        EXPECT_EQ(ours, OpenSslEcbDecrypt(enciphered, key.data())) << "round " << i;
    }
}

TEST(CryptoAgainstOpenSsl, TripleDesCbcInOneCallAndInPieces)
{
    qm::DataCipher cipher;
    std::mt19937 rng(5);
    for (int i = 0; i < 100; ++i) {
        const std::string password = RandomPassword(rng, i == 0 ? 0 : i == 1 ? 255 : rng() % 40);
        const Bytes key = OpenSslMd5(password.data(), password.size());
        const Bytes iv = RandomBytes(rng, 8);
        const Bytes enciphered = RandomBytes(rng, 8 * (rng() % 600));
        const Bytes expected = OpenSslEdeCbcDecrypt(enciphered, key.data(), iv);

        cipher.SelectKey(password.c_str(), 1);
        cipher.SetIv(iv.data());
        Bytes once = enciphered;
        cipher.Decipher(once.data(), static_cast<std::int32_t>(once.size()), 1);
        EXPECT_EQ(once, expected) << "round " << i;

        // Pieces of random multiples of 8 carry the chaining value along.
        cipher.SelectKey(password.c_str(), 1);
        cipher.SetIv(iv.data());
        Bytes pieces = enciphered;
        for (std::size_t at = 0; at < pieces.size();) {
            const std::size_t n = std::min<std::size_t>(8 * (rng() % 20), pieces.size() - at);
            cipher.Decipher(pieces.data() + at, static_cast<std::int32_t>(n), 1);
            at += n;
        }
        EXPECT_EQ(pieces, expected) << "round " << i;
    }
}

}  // namespace
