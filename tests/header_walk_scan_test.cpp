// The sliding header-CRC scan against testing every offset afresh.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "container/block_scan.h"
#include "container/header_block.h"
#include "packer/carrier_writer.h"

namespace {

std::int64_t ScanEveryOffset(const std::vector<std::uint8_t> &data)
{
    for (std::size_t j = 0; j + qm::kHeaderBlockSize <= data.size(); ++j)
        if (qm::CheckHeaderBlockCrc(data.data() + j))
            return static_cast<std::int64_t>(j);
    return -1;
}

void Plant(std::vector<std::uint8_t> &data, std::size_t at, const std::string &name)
{
    const auto block = qmpack::BuildHeaderBlock(qmpack::StoredEntry(name, {1, 2, 3}));
    std::copy(block.begin(), block.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(HeaderBlockScan, AgreesWithTestingEveryOffset)
{
    std::mt19937 rng(20261210);
    int found = 0;
    for (int trial = 0; trial < 150; ++trial) {
        std::vector<std::uint8_t> data(432 + rng() % 2000);
        for (auto &b : data)
            b = static_cast<std::uint8_t>(rng());
        // Zero, one or two planted blocks, the second possibly over the first.
        const int plants = static_cast<int>(rng() % 3);
        for (int k = 0; k < plants; ++k)
            Plant(data, rng() % (data.size() - 431), std::string("E").append(std::to_string(trial * 2 + k)));
        SCOPED_TRACE("trial " + std::to_string(trial));
        const std::int64_t expected = ScanEveryOffset(data);
        EXPECT_EQ(qm::ScanForHeaderBlock(data.data(), data.size()), expected);
        found += expected >= 0;
    }
    EXPECT_GT(found, 50);
}

TEST(HeaderBlockScan, TheEdgesOfTheRange)
{
    struct Case {
        std::size_t size;
        std::size_t at;  // where the block is planted
        std::int64_t result;
    };
    const Case cases[] = {
        {432, 0, 0},     // exactly one block
        {1000, 568, 568},  // the last offset that fits
        {1000, 0, 0},
        {431, 0, -1},    // too short to hold a block (the plant is cut)
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<std::uint8_t> data(std::max<std::size_t>(c.size, 432), 0x55);
        Plant(data, c.at, "EDGE");
        data.resize(c.size);
        EXPECT_EQ(qm::ScanForHeaderBlock(data.data(), data.size()), c.result);
    }
}

}  // namespace
