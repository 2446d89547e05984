// CRC-32 in its header and data forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <random>
#include <vector>

#include "crypto/cpu_features.h"
#include "crypto/crc32.h"
#include "crypto/crc32_paths.h"

namespace {

TEST(Crc32, CheckValueOfTheNineDigits)
{
    const char *digits = "123456789";
    EXPECT_EQ(~qm::Crc32(0xFFFFFFFFu, digits, 9), 0xCBF43926u);
    EXPECT_EQ(~qm::Crc32Data(0xFFFFFFFFu, digits, 9), 0xCBF43926u);
}

TEST(Crc32, EmptyNullAndNegativeInputsLeaveTheValue)
{
    const char byte = 'x';
    EXPECT_EQ(qm::Crc32(0x1234u, &byte, 0), 0x1234u);
    EXPECT_EQ(qm::Crc32(0x1234u, nullptr, 10), 0x1234u);
    EXPECT_EQ(qm::Crc32Data(0x1234u, &byte, 0), 0x1234u);
    EXPECT_EQ(qm::Crc32Data(0x1234u, &byte, -5), 0x1234u);
}

TEST(Crc32, TheTableHoldsTheReflectedPolynomialsEntries)
{
    EXPECT_EQ(qm::kCrc32Table[0], 0u);
    EXPECT_EQ(qm::kCrc32Table[1], 0x77073096u);
    EXPECT_EQ(qm::kCrc32Table[255], 0x2D02EF8Du);
}

TEST(Crc32, ChunkedHeaderFormCarriesPast65535Bytes)
{
    std::mt19937 rng(42);
    std::vector<unsigned char> data(200000);
    for (auto &b : data)
        b = static_cast<unsigned char>(rng());
    const uint32_t whole = qm::Crc32Data(0xFFFFFFFFu, data.data(), static_cast<int32_t>(data.size()));
    uint32_t chunked = 0xFFFFFFFFu;
    for (size_t at = 0; at < data.size();) {
        const size_t n = std::min<size_t>(65535, data.size() - at);
        chunked = qm::Crc32(chunked, data.data() + at, static_cast<uint16_t>(n));
        at += n;
    }
    EXPECT_EQ(chunked, whole);
}

// Every way of folding entry data, against a bit-at-a-time reference: every
// length up to 300 at every alignment of a 16-byte block (and up to 1100 for
// the wide path, whose main loop starts at 512), random chunkings
// carried through the register, and buffers long enough for the main loop.
struct DataPath {
    const char *name;
    std::uint32_t (*fold)(std::uint32_t, const unsigned char *, std::size_t);
};

const DataPath kDataPaths[] = {
    {"slices", qm::Crc32Slices}, {"folded", qm::Crc32Folded}, {"wide", qm::Crc32FoldedWide}};

std::uint32_t BitwiseCrc(std::uint32_t value, const unsigned char *p, std::size_t n)
{
    while (n--) {
        value ^= *p++;
        for (int k = 0; k < 8; ++k)
            value = (value >> 1) ^ (0xEDB88320u & (0u - (value & 1u)));
    }
    return value;
}

std::vector<unsigned char> RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> data(n);
    for (auto &b : data)
        b = static_cast<unsigned char>(rng());
    return data;
}

class Crc32DataPaths : public ::testing::TestWithParam<DataPath> {
protected:
    void SetUp() override
    {
        if (GetParam().fold == qm::Crc32Folded && !qm::CpuHasCarrylessMultiply())
            GTEST_SKIP() << "no carry-less multiplication on this processor";
        if (GetParam().fold == qm::Crc32FoldedWide && !qm::CpuHasWideCarrylessMultiply())
            GTEST_SKIP() << "no 256-bit carry-less multiplication on this processor";
    }
};

TEST_P(Crc32DataPaths, EveryLengthAndAlignment)
{
    const std::size_t longest = GetParam().fold == qm::Crc32FoldedWide ? 1100 : 300;
    const auto data = RandomBytes(longest + 16, 7);
    for (std::size_t align = 0; align < 16; ++align) {
        for (std::size_t n = 0; n <= longest; ++n) {
            const unsigned char *p = data.data() + align;
            const std::uint32_t start = 0xFFFFFFFFu ^ static_cast<std::uint32_t>(n * 2654435761u);
            ASSERT_EQ(GetParam().fold(start, p, n), BitwiseCrc(start, p, n))
                << "length " << n << " alignment " << align;
        }
    }
}

TEST_P(Crc32DataPaths, RandomChunkingsAndLongBuffers)
{
    const auto data = RandomBytes(3 * 1048576 + 77, 99);
    const std::uint32_t whole = BitwiseCrc(0xFFFFFFFFu, data.data(), data.size());
    EXPECT_EQ(GetParam().fold(0xFFFFFFFFu, data.data(), data.size()), whole);
    EXPECT_EQ(GetParam().fold(0xFFFFFFFFu, data.data() + 3, data.size() - 3),
              BitwiseCrc(0xFFFFFFFFu, data.data() + 3, data.size() - 3));
    std::mt19937 rng(5);
    for (int round = 0; round < 8; ++round) {
        std::uint32_t value = 0xFFFFFFFFu;
        for (std::size_t at = 0; at < data.size();) {
            // Mostly short chunks, now and then a long one.
            const std::size_t limit = rng() % 4 ? 700 : 300000;
            const std::size_t n = std::min<std::size_t>(rng() % limit, data.size() - at);
            value = GetParam().fold(value, data.data() + at, n);
            at += n;
        }
        ASSERT_EQ(value, whole) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(, Crc32DataPaths, ::testing::ValuesIn(kDataPaths),
                         [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(Crc32, DataFormGivesTheSameWithFoldingOffAndOn)
{
    const auto data = RandomBytes(100000, 3);
    std::uint32_t results[2];
    for (bool folding : {false, true}) {
        // Without folding the data form is its slice path.
        results[folding] = folding ? qm::Crc32Data(0xFFFFFFFFu, data.data(), static_cast<int32_t>(data.size()))
                                   : qm::Crc32Slices(0xFFFFFFFFu, data.data(), data.size());
    }
    EXPECT_EQ(results[0], BitwiseCrc(0xFFFFFFFFu, data.data(), data.size()));
    EXPECT_EQ(results[1], results[0]);
}

// The shift is what joins CRCs of pieces folded apart (the stored copy's
// two threads): it must equal folding that many zero bytes, for lengths at
// and around the powers of two it is built from, and a CRC joined from
// pieces must equal the CRC of the whole.
TEST(Crc32, ShiftEqualsFoldingZerosAndJoinsPieces)
{
    const std::vector<std::uint8_t> zeros(1 << 20, 0);
    for (std::uint64_t length : {0u, 1u, 2u, 3u, 7u, 8u, 255u, 4096u, 32512u, 520191u, 520192u, 1048576u}) {
        for (std::uint32_t value : {0u, 1u, 0x80000000u, 0xFFFFFFFFu, 0x12345678u}) {
            SCOPED_TRACE(testing::Message() << "length " << length << " value " << value);
            EXPECT_EQ(qm::Crc32Shift(value, length), qm::Crc32Update(value, zeros.data(), length));
        }
    }
    const auto data = RandomBytes(3 * 520192 + 777, 9);
    const std::uint32_t whole = qm::Crc32Update(0xFFFFFFFFu, data.data(), data.size());
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{520192}, data.size() - 1, data.size()}) {
        SCOPED_TRACE(testing::Message() << "cut at " << cut);
        const std::uint32_t first = qm::Crc32Update(0xFFFFFFFFu, data.data(), cut);
        const std::uint32_t second = qm::Crc32Update(0, data.data() + cut, data.size() - cut);
        EXPECT_EQ(qm::Crc32Shift(first, data.size() - cut) ^ second, whole);
    }
}

}  // namespace

