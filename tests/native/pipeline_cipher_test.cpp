// Enciphered entry data through the pipeline, enciphered by the packer's
// OpenSSL-based ciphers: the stored copy and the decoder both read through
// the cipher, one unbroken chaining across all their reads.
#include <gtest/gtest.h>

#include <cstring>

#include "encoder_inputs.h"
#include "packer/encoder.h"
#include "packer_crypto/packer_crypto.h"
#include "unpack_harness.h"

namespace {

const qmpack::ChainingBlock kChaining = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};

// A small entry is deciphered on the decoder's thread, a large one (from
// 1 MiB) on the writer thread as its packed data is read ahead, across
// many reads.
TEST(PipelineCipher, DecodedEntriesReadThroughTheCipher)
{
    for (const std::size_t plainSize : {std::size_t{400000}, std::size_t{2600000}}) {
        SCOPED_TRACE(plainSize);
        const qmpack::Bytes plain = qmtest::MixedBytes(plainSize, 21);
        const qmpack::Bytes stream = qmpack::EncodeLz(plain);
        const auto size = static_cast<std::int32_t>(plain.size());
        for (qm::CipherMethod method : {0, 1, 2}) {
            SCOPED_TRACE(method);
            const qmpack::Bytes stored = qmpack::EncipherData(stream, method, "pass word", kChaining);
            const auto d = qmtest::DecodeStream(stored, size, {.method = method, .password = "pass word"});
            EXPECT_EQ(d.status, 0);
            EXPECT_TRUE(d.output == plain);
            EXPECT_EQ(d.crc, qmpack::Crc32(plain));

            // A wrong password decodes garbage of the stated size; the CRC shows it.
            const auto wrong = qmtest::DecodeStream(stored, size, {.method = method, .password = "pass wort"});
            EXPECT_EQ(wrong.output.size(), plain.size());
            if (method != 2) {
                EXPECT_NE(wrong.crc, qmpack::Crc32(plain));
            }
        }
    }
}

TEST(PipelineCipher, StoredEntriesReadThroughTheCipher)
{
    const qmpack::Bytes plain = qmtest::RandomBytes(70001, 22);
    qmtest::TempDir dir;
    for (qm::CipherMethod method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        const qmpack::Bytes stored = qmpack::EncipherData(plain, method, "pw", kChaining);
        const std::string carrier = dir.Write("carrier.bin", stored);
        const std::string out = dir.File("out.bin");
        const auto fresh = std::make_unique<qm::ExportSession>();
        qm::ExportSession &session = *fresh;
        session.carrier = qm::platform::OpenForRead(carrier.c_str());
        session.transfer.output = qm::platform::OpenForWrite(out.c_str());
        ASSERT_TRUE(session.carrier && session.transfer.output);
        std::strcpy(session.archive.DataPassword, "pw");
        session.status = 0;
        session.transfer.packedLeft = static_cast<std::uint32_t>(stored.size());
        session.transfer.unpackedLeft = session.transfer.progressTotal = static_cast<std::int32_t>(plain.size());
        session.transfer.activeCipher = method;
        qm::CopyStored(session);
        qm::platform::Close(session.carrier);
        qm::platform::Close(session.transfer.output);
        session.carrier = session.transfer.output = nullptr;
        EXPECT_EQ(session.status, 0);
        EXPECT_EQ(~session.transfer.dataCrc, qmpack::Crc32(plain));
        EXPECT_TRUE(qmpack::ReadFile(out) == plain);
    }
}

}  // namespace
