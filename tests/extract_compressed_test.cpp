// Compressed entries end to end: the real LZ stream of the corpus, wrapped in
// carriers of our own, intact, behind a chaining value, damaged and cut short.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "state/callbacks.h"
#include "encoder_inputs.h"
#include "extract_test_support.h"
#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using qmpack::Bytes;

namespace {

// SOUND\BOAT.WAV of real-lz.qm: its header block lies at 3134.
constexpr std::size_t kStreamOffset = 3134 + 432;
constexpr std::size_t kPackedSize = 42551;
constexpr std::int32_t kUnpackedSize = 56464;
constexpr std::uint32_t kCrc = 0x82d2ed89;

Bytes CorpusStream()
{
    const Bytes carrier = qmpack::ReadFile(qmtest::CorpusFile("real-lz.qm"));
    if (carrier.size() < kStreamOffset + kPackedSize)
        return {};
    return Bytes(carrier.begin() + kStreamOffset, carrier.begin() + kStreamOffset + kPackedSize);
}

qmpack::EntrySpec Compressed(const Bytes &stored)
{
    qmpack::EntrySpec e;
    e.name = "BOAT.WAV";
    e.stored = stored;
    e.unpackedSize = kUnpackedSize;
    e.dataCrc = kCrc;
    return e;
}

std::vector<std::int32_t> g_percents;
std::int32_t QM_CALL RecordPercent(QmUserValue, std::int32_t percent, std::int32_t)
{
    g_percents.push_back(percent);
    return 1;
}

TEST(ExtractCompressed, TheRealStreamInOurOwnCarriers)
{
    const Bytes stream = CorpusStream();
    ASSERT_EQ(stream.size(), kPackedSize);
    const Bytes after(300, 'a');

    struct Case {
        const char *what;
        std::function<void(qmpack::EntrySpec &)> change;
        std::uint16_t status;
    };
    const Case cases[] = {
        {"intact", [](qmpack::EntrySpec &) {}, 0},
        {"behind a chaining value",
         [](qmpack::EntrySpec &e) {
             e.cipherMethod = QM_CIPHER_CHAINING_ONLY;
             e.stored.insert(e.stored.begin(), 8, 0x5A);
         },
         0},
        {"a damaged byte", [](qmpack::EntrySpec &e) { e.stored[20000] ^= 0x24; }, QM_STATUS_CRC_MISMATCH},
        {"cut short",
         [](qmpack::EntrySpec &e) { e.stored.resize(e.stored.size() / 2); },
         QM_STATUS_CRC_MISMATCH},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        qmtest::TempDir dir;
        qmpack::EntrySpec entry = Compressed(stream);
        c.change(entry);
        qmpack::CarrierSpec layout;
        layout.entries = {entry, qmpack::StoredEntry("AFTER.TXT", after)};
        const std::string carrier = dir.Write("c.qm", qmpack::BuildCarrier(layout));

        ArcOpenParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.dataPassword, "pw");
        InitHidFile(qmtest::LibPath(carrier).c_str(), &params);
        ASSERT_EQ(GetArchiveStatus(), 0);
        SetOutputPath(qmtest::LibPath(dir.path()).c_str());
        g_percents.clear();
        SetSetProgressProc(0, RecordPercent);
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        EXPECT_EQ(GetArchiveStatus(), c.status);
        DoneFileMaskList(&masks);
        DoneArcFile(0);
        SetOutputPath("");

        const fs::path wav = dir.path() / "BOAT.WAV";
        if (c.status == 0) {
            const Bytes data = qmpack::ReadFile(wav.string());
            EXPECT_EQ(data.size(), static_cast<std::size_t>(kUnpackedSize));
            EXPECT_EQ(qmpack::Crc32(data), kCrc);
            EXPECT_EQ(qmpack::ReadFile((dir.path() / "AFTER.TXT").string()), after);
            ASSERT_FALSE(g_percents.empty());
            EXPECT_EQ(g_percents[g_percents.size() - 2], 100);  // the stream's last flush
        } else {
            EXPECT_FALSE(fs::exists(wav));
            EXPECT_FALSE(fs::exists(dir.path() / "AFTER.TXT"));
        }
    }
    qmtest::EmptyEveryCallbackSlot();
}

// The reader hands the decoder its packed data in blocks of 64 KiB: a stream
// of more than three blocks (its size no multiple of 64 KiB) decodes whole,
// plain and behind a chaining value, and cutting it short anywhere, at a
// block's end too, or damaging a byte in a later block is a CRC mismatch.
TEST(ExtractCompressed, PackedDataOfSeveralReadBlocks)
{
    const Bytes data = qmtest::MixedBytes(3 * 0x100000 / 2, 91);
    const Bytes stream = qmpack::EncodeLz(data);
    constexpr std::size_t kBlock = 64 * 1024;
    ASSERT_GT(stream.size(), 3 * kBlock);
    ASSERT_NE(stream.size() % kBlock, 0u);
    const std::uint32_t crc = qmpack::Crc32(data);

    struct Case {
        const char *what;
        std::function<void(qmpack::EntrySpec &)> change;
        std::uint16_t status;
    };
    const Case cases[] = {
        {"intact", [](qmpack::EntrySpec &) {}, 0},
        {"behind a chaining value",
         [](qmpack::EntrySpec &e) { e = qmpack::ChainingOnlyEntry(e.name, e.stored); },
         0},
        {"cut at the end of the second block", [](qmpack::EntrySpec &e) { e.stored.resize(2 * kBlock); },
         QM_STATUS_CRC_MISMATCH},
        {"cut inside the third block", [](qmpack::EntrySpec &e) { e.stored.resize(2 * kBlock + 1000); },
         QM_STATUS_CRC_MISMATCH},
        {"a damaged byte in the fourth block", [](qmpack::EntrySpec &e) { e.stored[3 * kBlock + 5] ^= 0x10; },
         QM_STATUS_CRC_MISMATCH},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        qmtest::TempDir dir;
        qmpack::EntrySpec entry;
        entry.name = "MIXED.BIN";
        entry.stored = stream;
        c.change(entry);
        entry.unpackedSize = static_cast<std::int32_t>(data.size());
        entry.dataCrc = crc;
        qmpack::CarrierSpec layout;
        layout.entries = {entry};
        const std::string carrier = dir.Write("c.qm", qmpack::BuildCarrier(layout));

        ArcOpenParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.dataPassword, "pw");
        InitHidFile(qmtest::LibPath(carrier).c_str(), &params);
        ASSERT_EQ(GetArchiveStatus(), 0);
        SetOutputPath(qmtest::LibPath(dir.path()).c_str());
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        EXPECT_EQ(GetArchiveStatus(), c.status);
        DoneFileMaskList(&masks);
        DoneArcFile(0);
        SetOutputPath("");

        const fs::path out = dir.path() / "MIXED.BIN";
        if (c.status == 0)
            EXPECT_EQ(qmpack::ReadFile(out.string()), data);
        else
            EXPECT_FALSE(fs::exists(out));
    }
    qmtest::EmptyEveryCallbackSlot();
}

}  // namespace
