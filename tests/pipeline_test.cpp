// The data pipeline below the exports: a real carrier file positioned at an
// entry's data, a real output file, and the progress callback recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "state/callbacks.h"
#include "state/status.h"
#include "container/session.h"
#include "crypto/cipher.h"
#include "crypto/crc32.h"
#include "extract/pipeline.h"
#include "support/own_session.h"
#include "support/temp_dir.h"

namespace {

using qmpack::Bytes;

struct ProgressCall {
    std::int32_t percent;
    std::int32_t count;
    bool operator==(const ProgressCall &) const = default;
};

std::vector<ProgressCall> g_calls;
std::int32_t g_answer = 1;

std::int32_t QM_CALL RecordProgress(QmUserValue user, std::int32_t percent, std::int32_t count)
{
    EXPECT_EQ(user, QmUserValue{77});
    g_calls.push_back({percent, count});
    return g_answer;
}

Bytes Pattern(std::size_t size, std::uint32_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[i] = static_cast<std::uint8_t>(seed >> 16);
    }
    return b;
}

std::uint32_t DataCrcOf(const std::uint8_t *p, std::size_t n)
{
    return ~qm::Crc32Data(0xFFFFFFFFu, p, static_cast<std::int32_t>(n));
}

class Pipeline : public ::testing::Test, public qmtest::OwnSession {
protected:
    // The carrier: a 17-byte prefix, then the entry's bytes, then 16 bytes
    // that stand for the next header block.
    static constexpr std::int64_t kDataOffset = 17;

    void SetUp() override
    {
        S().callbacks.progress = {RecordProgress, 77};
        g_calls.clear();
        g_answer = 1;
    }

    void TearDown() override
    {
        CloseFiles();
    }

    void CloseFiles()
    {
        qm::platform::Close(S().carrier);
        qm::platform::Close(S().transfer.output);
        S().carrier = nullptr;
        S().transfer.output = nullptr;
    }

    // Opens the carrier at the entry's data and a fresh output file, and sets
    // the transfer state as the driver does.
    void StartEntry(const Bytes &entryBytes, std::uint32_t packedSize, std::int32_t unpackedSize,
                    qm::CipherMethod method = -1)
    {
        CloseFiles();
        // Sized once and filled: GCC 12 at -O3 sees an out-of-bounds copy in
        // an insert behind the prefix that is not there.
        Bytes carrier(kDataOffset + entryBytes.size() + 16, 0xEE);
        std::fill_n(carrier.begin(), kDataOffset, 0xAA);
        std::copy(entryBytes.begin(), entryBytes.end(), carrier.begin() + kDataOffset);
        const std::string carrierPath = dir_.Write("carrier" + std::to_string(++serial_), carrier);
        outPath_ = dir_.File("out" + std::to_string(serial_));
        S().carrier = qm::platform::OpenForRead(carrierPath.c_str());
        S().transfer.output = qm::platform::OpenForWrite(outPath_.c_str());
        ASSERT_TRUE(S().carrier && S().transfer.output);
        ASSERT_TRUE(qm::platform::Seek(S().carrier, kDataOffset));
        S().transfer.packedLeft = packedSize;
        S().transfer.unpackedLeft = unpackedSize;
        S().transfer.progressTotal = unpackedSize;
        S().transfer.dataCrc = 0xFFFFFFFFu;
        S().transfer.activeCipher = method;
        std::strcpy(S().archive.DataPassword, "secret");  // the stored copy selects the key itself
        S().cipher.SelectKey("secret", method);
        S().transfer.readIvFirst = method == 1 || method == 2;
    }

    Bytes Output()
    {
        qm::platform::Close(S().transfer.output);
        S().transfer.output = nullptr;
        return qmpack::ReadFile(outPath_);
    }

    qmtest::TempDir dir_;
    std::string outPath_;
    int serial_ = 0;
};

TEST_F(Pipeline, StoredCopyWritesTheDataAndReportsProgressPerChunk)
{
    struct Case {
        std::size_t size;
        std::vector<ProgressCall> calls;
    };
    const Case cases[] = {
        {0, {}},                                // nothing read, nothing written, no call
        {100, {{100, 100}}},
        {32512, {{100, 32512}}},
        {32513, {{99, 32512}, {100, 1}}},
        {65024, {{50, 32512}, {100, 32512}}},  // two chunks of 32512
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes data = Pattern(c.size, static_cast<std::uint32_t>(c.size));
        StartEntry(data, static_cast<std::uint32_t>(c.size), static_cast<std::int32_t>(c.size));
        g_calls.clear();
        qm::CopyStored(S());
        EXPECT_EQ(S().status, 0);
        EXPECT_EQ(g_calls, c.calls);
        EXPECT_EQ(S().transfer.bytesDone, static_cast<std::int32_t>(c.size));
        EXPECT_EQ(S().transfer.unpackedLeft, 0);
        EXPECT_EQ(S().transfer.packedLeft, 0u);
        EXPECT_EQ(~S().transfer.dataCrc, DataCrcOf(data.data(), data.size()));
        EXPECT_EQ(Output(), data);
    }
}

TEST_F(Pipeline, PercentagesCountOnlyTheCurrentEntry)
{
    const Bytes first = Pattern(5000, 1);
    StartEntry(first, 5000, 5000);
    qm::CopyStored(S());
    const Bytes second = Pattern(65024, 2);
    StartEntry(second, 65024, 65024);
    g_calls.clear();
    qm::CopyStored(S());
    EXPECT_EQ(g_calls, (std::vector<ProgressCall>{{50, 32512}, {100, 32512}}));
    EXPECT_EQ(~S().transfer.dataCrc, DataCrcOf(second.data(), second.size()));
}

TEST_F(Pipeline, ChainingValueIsConsumedFirstForMethodsOneAndTwo)
{
    // 100 bytes of data enciphered into 104; the packed size counts the
    // 8-byte chaining value in front.
    const Bytes iv = Pattern(8, 9);
    const Bytes body = Pattern(104, 10);
    Bytes entry = iv;
    entry.insert(entry.end(), body.begin(), body.end());

    for (qm::CipherMethod method : {1, 2}) {
        SCOPED_TRACE(method);
        // What the cipher makes of the body behind this chaining value.
        Bytes expected = body;
        S().cipher.SelectKey("secret", method);
        S().cipher.SetIv(iv.data());
        S().cipher.Decipher(expected.data(), 104, method);
        expected.resize(100);
        if (method == 2) {
            EXPECT_EQ(expected, Bytes(body.begin(), body.begin() + 100));
        }

        StartEntry(entry, 112, 100, method);
        g_calls.clear();
        qm::CopyStored(S());
        EXPECT_EQ(S().status, 0);
        EXPECT_EQ(g_calls, (std::vector<ProgressCall>{{100, 100}}));
        EXPECT_EQ(Output(), expected);
    }
}

TEST_F(Pipeline, ReaderNeverHandsOutMoreThanThePackedSize)
{
    const Bytes data = Pattern(100, 3);
    StartEntry(data, 60, 60);
    std::uint8_t buffer[128];
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(qm::ReadPackedData(S(), buffer, 0), 0u);
    EXPECT_EQ(qm::ReadPackedData(S(), buffer, 40), 40u);
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(qm::ReadPackedData(S(), buffer, 40), 20u);
    EXPECT_EQ(0, std::memcmp(buffer, data.data() + 40, 20));
    EXPECT_EQ(buffer[20], 0x55);  // the request's remainder is untouched
    EXPECT_EQ(qm::ReadPackedData(S(), buffer, 40), 0u);

    // A carrier that ends early simply yields fewer bytes.
    StartEntry(data, 1000, 1000);
    std::vector<std::uint8_t> big(1024);
    EXPECT_EQ(qm::ReadPackedData(S(), big.data(), 1024), 100u + 16u);
    EXPECT_EQ(qm::ReadPackedData(S(), big.data(), 1024), 0u);
}

TEST_F(Pipeline, PaddingBeyondTheUnpackedSizeIsReadButNotWritten)
{
    // Unpacked 0, packed 40: one write of 0 bytes, percentage 0 (the count
    // asked for stands in for it when the total is 0).
    StartEntry(Pattern(40, 4), 40, 0);
    qm::CopyStored(S());
    EXPECT_EQ(g_calls, (std::vector<ProgressCall>{{0, 0}}));
    EXPECT_TRUE(Output().empty());
    EXPECT_EQ(~S().transfer.dataCrc, 0u);

    // 40000 packed bytes, 33000 unpacked: the second chunk is cut.
    const Bytes data = Pattern(40000, 5);
    StartEntry(data, 40000, 33000);
    g_calls.clear();
    qm::CopyStored(S());
    EXPECT_EQ(g_calls, (std::vector<ProgressCall>{{98, 32512}, {100, 488}}));
    EXPECT_EQ(Output(), Bytes(data.begin(), data.begin() + 33000));
    EXPECT_EQ(S().transfer.packedLeft, 0u);
}

TEST_F(Pipeline, NegativeUnpackedSizeWritesNothing)
{
    // A damaged header block may carry a negative unpacked size; the copy must
    // not turn it into a huge write count.
    StartEntry(Pattern(500, 6), 500, -7);
    qm::CopyStored(S());
    EXPECT_EQ(S().status, 0);
    EXPECT_TRUE(Output().empty());
    EXPECT_EQ(S().transfer.bytesDone, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].count, 0);
}

TEST_F(Pipeline, ShortWriteSetsStatus101AndTheCrcCoversOnlyWhatWasWritten)
{
    const Bytes data = Pattern(1000, 7);
    StartEntry(data, 1000, 1000);
    // An output stream that accepts nothing: a file opened for reading.
    qm::platform::Close(S().transfer.output);
    qmpack::WriteFile(outPath_, {});
    S().transfer.output = qm::platform::OpenForRead(outPath_.c_str());
    ASSERT_NE(S().transfer.output, nullptr);
    qm::CopyStored(S());
    EXPECT_EQ(S().status, QM_STATUS_WRITE_FAILED);
    EXPECT_EQ(S().transfer.dataCrc, 0xFFFFFFFFu);
    EXPECT_EQ(g_calls, (std::vector<ProgressCall>{{100, 0}}));
}

TEST_F(Pipeline, ZeroFromTheProgressCallbackSets2926AndTheCopyRunsOn)
{
    const Bytes data = Pattern(70000, 8);
    StartEntry(data, 70000, 70000);
    g_answer = 0;
    qm::CopyStored(S());
    EXPECT_EQ(S().status, QM_STATUS_STOPPED);
    EXPECT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(Output(), data);  // the bytes of every call stay written
}

TEST_F(Pipeline, WithoutACallbackNothingIsReported)
{
    S().callbacks.progress = {};
    const Bytes data = Pattern(100, 11);
    StartEntry(data, 100, 100);
    qm::CopyStored(S());
    EXPECT_EQ(S().status, 0);
    EXPECT_EQ(Output(), data);
}

TEST_F(Pipeline, FortyMiBEntryReportsRisingPercentagesEndingAt100)
{
    // From 20 MiB on, the count and the total are halved together; the
    // percentages still rise to exactly 100.
    const std::size_t size = 41943040;
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>((i * 7) >> 3);
    StartEntry(data, size, size);
    qm::CopyStored(S());
    EXPECT_EQ(S().status, 0);
    ASSERT_EQ(g_calls.size(), (size + 32511) / 32512);
    std::int64_t done = 0;
    std::int32_t last = 0;
    for (const ProgressCall &c : g_calls) {
        done += c.count;
        const auto exact = static_cast<std::int32_t>(done * 100 / static_cast<std::int64_t>(size));
        EXPECT_LE(std::abs(c.percent - exact), 1);
        EXPECT_GE(c.percent, last);
        last = c.percent;
    }
    EXPECT_EQ(g_calls.back().percent, 100);
    EXPECT_EQ(~S().transfer.dataCrc, DataCrcOf(data.data(), size));
}

TEST_F(Pipeline, PercentageHalvesLargeCountsTogether)
{
    struct Case {
        std::int32_t done, total;
        std::uint32_t count;
        std::int32_t percent;
    };
    const Case cases[] = {
        {41943040, 41943040, 10, 100},          // halved twice
        {20971520, 41943040, 10, 50},           // halved once
        {20971519, 20971520, 10, 99},           // just below the threshold
        {2147483647, 2147483647, 10, 100},      // the largest size
        {1073741824, 2147483647, 10, 50},
        {0, 0, 1234, 1234},                     // total 0: the count asked for
        {30000000, 1, 5, 5},                    // total halved to 0: likewise
        {7, 0, 0, 0},
    };
    const Bytes buffer(2048, 0x31);
    StartEntry({}, 0, 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.done);
        S().transfer.bytesDone = c.done;
        S().transfer.progressTotal = c.total;
        g_calls.clear();
        EXPECT_EQ(qm::WriteUnpackedData(S(), buffer.data(), c.count), c.count);
        EXPECT_EQ(g_calls, (std::vector<ProgressCall>{{c.percent, static_cast<std::int32_t>(c.count)}}));
    }
}

}  // namespace
