// Enciphered extraction natively: the fixture maker's carriers (OpenSSL) in a
// temporary directory.
#include <gtest/gtest.h>

#include "extract_cipher_check.h"
#include "header_cipher_fixture_check.h"
#include "packer_crypto/cipher_fixtures.h"
#include "packer_crypto/packer_crypto.h"
#include "support/temp_dir.h"

namespace {

TEST(ExtractCipher, EveryDataCipherMethodOfTheFixtureMakerExtracts)
{
    qmtest::TempDir dir, work;
    ASSERT_TRUE(qmpack::WriteCipherFixtures(dir.path().string()));
    EXPECT_EQ(qmtest::CheckCipherFixtureExtraction(dir.path().string(), work.path(), false), 6);
}

TEST(ExtractCipher, PackerMadeEncipheredHeadersOpenListAndExtract)
{
    qmtest::TempDir dir, work;
    ASSERT_TRUE(qmpack::WriteCipherFixtures(dir.path().string()));
    EXPECT_EQ(qmtest::CheckHeaderFixtureListing(dir.path().string()), 5);
    EXPECT_EQ(qmtest::CheckCipherFixtureExtraction(dir.path().string(), work.path(), true), 5);
}

}  // namespace

namespace {

// The corpus's real LZ stream, enciphered by OpenSSL with each method, in
// carriers of our own: the decoder pulls deciphered bytes through the reader.
TEST(ExtractCipher, CompressedEntriesDecodeBehindEveryCipher)
{
    const qmpack::Bytes corpus = qmpack::ReadFile(qmtest::CorpusFile("real-lz.qm"));
    ASSERT_GE(corpus.size(), 3134u + 432 + 42551);
    const qmpack::Bytes stream(corpus.begin() + 3134 + 432, corpus.begin() + 3134 + 432 + 42551);
    constexpr std::uint32_t kCrc = 0x82d2ed89;

    for (const std::int32_t method : {0, 1, 2}) {
        for (const bool wrongFirst : {false, true}) {
            SCOPED_TRACE(testing::Message() << "method " << method << (wrongFirst ? ", wrong first" : ""));
            qmtest::TempDir dir;
            qmpack::EntrySpec e;
            e.name = "SOUND\\BOAT.WAV";
            e.cipherMethod = method;
            e.stored = qmpack::EncipherData(stream, method, "right", {1, 2, 3, 4, 5, 6, 7, 8});
            e.unpackedSize = 56464;
            e.dataCrc = kCrc;
            qmpack::CarrierSpec layout;
            layout.entries = {e};
            const std::string carrier = dir.Write("c.qm", qmpack::BuildCarrier(layout));

            qmtest::CipherFixtureEntry first;
            first.name = e.name;
            qmtest::g_cipherHost = qmtest::CipherHost{"right", 1, {}};
            const auto out = dir.path() / "out";
            std::filesystem::create_directories(out);
            EXPECT_EQ(qmtest::ExtractCipherCarrier(carrier, first, wrongFirst ? "wrong" : "right", out), 0);
            const qmpack::Bytes data = qmpack::ReadFile((out / "SOUND" / "BOAT.WAV").string());
            EXPECT_EQ(data.size(), 56464u);
            EXPECT_EQ(qmpack::Crc32(data), kCrc);
            const bool asked = wrongFirst && method != 2;
            EXPECT_EQ(qmtest::g_cipherHost.events.size(), asked ? 3u : 1u);
        }
    }
}

}  // namespace
