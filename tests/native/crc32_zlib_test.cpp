// CRC-32 against zlib's crc32 on random data and random chunkings.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "crypto/crc32.h"

namespace {

TEST(Crc32AgainstZlib, RandomDataAndChunkings)
{
    qm::BuildCrc32Table();
    std::mt19937 rng(1234);
    for (int round = 0; round < 50; ++round) {
        std::vector<unsigned char> data(rng() % 100000);
        for (auto &b : data)
            b = static_cast<unsigned char>(rng());
        const uLong expected = crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size()));

        uint32_t header = 0xFFFFFFFFu, body = 0xFFFFFFFFu;
        for (size_t at = 0; at < data.size();) {
            const size_t n = std::min<size_t>(1 + rng() % 70000, data.size() - at);
            body = qm::Crc32Data(body, data.data() + at, static_cast<int32_t>(n));
            const size_t h = std::min<size_t>(n, 65535);
            header = qm::Crc32(header, data.data() + at, static_cast<uint16_t>(h));
            header = qm::Crc32(header, data.data() + at + h, static_cast<uint16_t>(n - h));
            at += n;
        }
        EXPECT_EQ(~body, expected) << "size " << data.size();
        EXPECT_EQ(~header, expected) << "size " << data.size();
    }
}

}  // namespace
