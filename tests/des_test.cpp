// DES and two-key triple DES against published known answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/des.h"

namespace {

using Block = std::array<std::uint8_t, 8>;

Block FromHex(const char *hex)
{
    Block b{};
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<std::uint8_t>(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
    return b;
}

std::vector<std::uint8_t> BytesFromHex(const std::string &hex)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

qm::DesSchedule Schedule(const Block &key, qm::DesDirection direction)
{
    qm::DesSchedule s;
    qm::BuildDesSchedule(key.data(), direction, s);
    return s;
}

Block Through(Block block, const qm::DesSchedule &s)
{
    qm::DesBlock(block.data(), s);
    return block;
}

struct DesCase {
    const char *key;
    const char *plain;
    const char *cipher;
};

// Published single-DES answers: the NIST variable plaintext and variable key
// tests, the FIPS 81 example, the classic worked example, and others.
const DesCase kDesCases[] = {
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
    {"0101010101010101", "0000000000000000", "8CA64DE9C1B123A7"},
    {"FEFEFEFEFEFEFEFE", "FFFFFFFFFFFFFFFF", "7359B2163E4EDC58"},
    {"3000000000000000", "1000000000000001", "958E6E627A05557B"},
    {"1111111111111111", "1111111111111111", "F40379AB9E0EC533"},
    {"0123456789ABCDEF", "1111111111111111", "17668DFC7292532D"},
    {"1111111111111111", "0123456789ABCDEF", "8A5AE1F81AB8F2DD"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "ED39D950FA74BCC4"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
};

TEST(Des, KnownAnswersBothWays)
{
    for (const DesCase &c : kDesCases) {
        const Block key = FromHex(c.key), plain = FromHex(c.plain), cipher = FromHex(c.cipher);
        EXPECT_EQ(Through(plain, Schedule(key, qm::DesDirection::Encrypt)), cipher) << "key " << c.key;
        EXPECT_EQ(Through(cipher, Schedule(key, qm::DesDirection::Decrypt)), plain) << "key " << c.key;
    }
}

// Rivest's test: x(i+1) = E(key x(i), x(i)) for even i and D(key x(i), x(i))
// for odd i; sixteen steps from 9474B8E8C73BCA7D reach 1B1A2DDB4C642438.
// Every step uses a new key, so it exercises the key schedule widely.
TEST(Des, RivestIteration)
{
    Block x = FromHex("9474B8E8C73BCA7D");
    for (int i = 0; i < 16; ++i)
        x = Through(x, Schedule(x, i % 2 == 0 ? qm::DesDirection::Encrypt : qm::DesDirection::Decrypt));
    EXPECT_EQ(x, FromHex("1B1A2DDB4C642438"));
}

TEST(Des, ParityBitsAreIgnored)
{
    const Block key = FromHex("133457799BBCDFF1");
    const Block plain = FromHex("0123456789ABCDEF");
    const Block expected = Through(plain, Schedule(key, qm::DesDirection::Encrypt));
    for (int i = 0; i < 8; ++i) {
        Block flipped = key;
        flipped[i] ^= 1;
        EXPECT_EQ(Through(plain, Schedule(flipped, qm::DesDirection::Encrypt)), expected) << "byte " << i;
    }
    Block allFlipped = key;
    for (auto &b : allFlipped)
        b ^= 1;
    EXPECT_EQ(Through(plain, Schedule(allFlipped, qm::DesDirection::Encrypt)), expected);
}

// Several blocks go through the rounds together; every count, including the
// ones that leave a remainder, must match block-by-block processing.
TEST(Des, ManyBlocksMatchOneAtATime)
{
    const qm::DesSchedule s = Schedule(FromHex("0123456789ABCDEF"), qm::DesDirection::Decrypt);
    for (std::size_t count = 0; count <= 11; ++count) {
        std::vector<std::uint8_t> data(8 * count + 8, 0xA5);
        for (std::size_t i = 0; i < 8 * count; ++i)
            data[i] = static_cast<std::uint8_t>(i * 37 + count);
        std::vector<std::uint8_t> expected = data;
        for (std::size_t b = 0; b < count; ++b)
            qm::DesBlock(expected.data() + 8 * b, s);
        qm::DesBlocks(data.data(), count, s);
        EXPECT_EQ(data, expected) << count << " blocks";
    }
}

struct TripleCase {
    const char *k1, *k2, *iv, *plain, *cipher;
};

// Two-key triple DES (EDE) in CBC mode.  With K1 = K2 the cipher is single
// DES, so the first row is the CBC example of FIPS 81; the second was made
// with OpenSSL's des-ede-cbc.
const TripleCase kTripleCases[] = {
    {"0123456789ABCDEF", "0123456789ABCDEF", "1234567890ABCDEF",
     "4e6f77206973207468652074696d6520666f7220616c6c20",
     "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"},
    {"0123456789ABCDEF", "FEDCBA9876543210", "1032547698BADCFE",
     "54686520717569636b2062726f776e20666f78206a756d7073206f76657220746865206c617a7920646f672e2e2e2e2e",
     "c098995bd0fd3e8ced06458bd36ec1b391d4de8853d59857d8702539f29646e8aaea60c88702fbe5f794234468163152"},
};

TEST(TripleDes, CbcKnownAnswers)
{
    for (const TripleCase &c : kTripleCases) {
        const qm::DesSchedule k1 = Schedule(FromHex(c.k1), qm::DesDirection::Decrypt);
        const qm::DesSchedule k2 = Schedule(FromHex(c.k2), qm::DesDirection::Encrypt);
        std::vector<std::uint8_t> data = BytesFromHex(c.cipher);
        Block chaining = FromHex(c.iv);
        qm::TripleDesCbcDecipher(data.data(), data.size() / 8, k1, k2, chaining.data());
        EXPECT_EQ(data, BytesFromHex(c.plain)) << "K2 " << c.k2;
        // The chaining value ends as the last enciphered block.
        const std::vector<std::uint8_t> cipher = BytesFromHex(c.cipher);
        EXPECT_TRUE(std::equal(chaining.begin(), chaining.end(), cipher.end() - 8));
    }
}

}  // namespace
