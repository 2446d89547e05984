// CRC-32 in its header and data forms.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "crypto/crc32.h"

namespace {

TEST(Crc32, CheckValueOfTheNineDigits)
{
    qm::BuildCrc32Table();
    const char *digits = "123456789";
    EXPECT_EQ(~qm::Crc32(0xFFFFFFFFu, digits, 9), 0xCBF43926u);
    EXPECT_EQ(~qm::Crc32Data(0xFFFFFFFFu, digits, 9), 0xCBF43926u);
}

TEST(Crc32, EmptyNullAndNegativeInputsLeaveTheValue)
{
    qm::BuildCrc32Table();
    const char byte = 'x';
    EXPECT_EQ(qm::Crc32(0x1234u, &byte, 0), 0x1234u);
    EXPECT_EQ(qm::Crc32(0x1234u, nullptr, 10), 0x1234u);
    EXPECT_EQ(qm::Crc32Data(0x1234u, &byte, 0), 0x1234u);
    EXPECT_EQ(qm::Crc32Data(0x1234u, &byte, -5), 0x1234u);
}

TEST(Crc32, DataTableIsBuiltEqualToTheHeaderTable)
{
    std::memset(qm::DataCrcTable, 0, sizeof qm::DataCrcTable);
    qm::BuildCrc32Table();
    EXPECT_EQ(qm::DataCrcTable[0], 0u);
    EXPECT_EQ(qm::DataCrcTable[1], 0x77073096u);
    EXPECT_EQ(qm::DataCrcTable[255], 0x2D02EF8Du);
}

TEST(Crc32, ChunkedHeaderFormCarriesPast65535Bytes)
{
    qm::BuildCrc32Table();
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

}  // namespace
