// CRC-32 against zlib's crc32 on random data and random chunkings, for the
// header form and for every way the data form folds.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <vector>

#include "crypto/cpu_features.h"
#include "crypto/crc32.h"
#include "crypto/crc32_paths.h"

namespace {

TEST(Crc32AgainstZlib, RandomDataAndChunkings)
{
    std::mt19937 rng(1234);
    for (bool folding : {false, true}) {
        // Without folding the data form is its slice path.
        const auto dataForm = [folding](uint32_t value, const unsigned char *p, size_t n) {
            return folding ? qm::Crc32Data(value, p, static_cast<int32_t>(n)) : qm::Crc32Slices(value, p, n);
        };
        for (int round = 0; round < 50; ++round) {
            std::vector<unsigned char> data(rng() % 100000);
            for (auto &b : data)
                b = static_cast<unsigned char>(rng());
            const uLong expected = crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size()));

            uint32_t header = 0xFFFFFFFFu, body = 0xFFFFFFFFu;
            for (size_t at = 0; at < data.size();) {
                const size_t n = std::min<size_t>(1 + rng() % 70000, data.size() - at);
                body = dataForm(body, data.data() + at, n);
                const size_t h = std::min<size_t>(n, 65535);
                header = qm::Crc32(header, data.data() + at, static_cast<uint16_t>(h));
                header = qm::Crc32(header, data.data() + at + h, static_cast<uint16_t>(n - h));
                at += n;
            }
            EXPECT_EQ(~body, expected) << "size " << data.size() << " folding " << folding;
            EXPECT_EQ(~header, expected) << "size " << data.size();
        }
    }
}

TEST(Crc32AgainstZlib, EveryDataPathOnEveryShortLengthAndAlignment)
{
    std::mt19937 rng(77);
    std::vector<unsigned char> data(1100 + 16);
    for (auto &b : data)
        b = static_cast<unsigned char>(rng());
    const bool folding = qm::CpuHasCarrylessMultiply();
    const bool wide = qm::CpuHasWideCarrylessMultiply();
    for (size_t align = 0; align < 16; ++align) {
        for (size_t n = 0; n <= 1100; ++n) {
            const unsigned char *p = data.data() + align;
            const uLong expected = crc32(0L, p, static_cast<uInt>(n));
            ASSERT_EQ(~qm::Crc32Slices(0xFFFFFFFFu, p, n), expected) << n << " at " << align;
            if (folding) {
                ASSERT_EQ(~qm::Crc32Folded(0xFFFFFFFFu, p, n), expected) << n << " at " << align;
            }
            if (wide) {
                ASSERT_EQ(~qm::Crc32FoldedWide(0xFFFFFFFFu, p, n), expected) << n << " at " << align;
            }
        }
    }
}

TEST(Crc32AgainstZlib, EveryDataPathOnLargeBuffers)
{
    std::mt19937 rng(4321);
    std::vector<unsigned char> data(9 * 1048576 + 13);
    for (auto &b : data)
        b = static_cast<unsigned char>(rng());
    for (size_t offset : {0, 1, 15}) {
        const unsigned char *p = data.data() + offset;
        const size_t n = data.size() - offset;
        const uLong expected = crc32(0L, p, static_cast<uInt>(n));
        EXPECT_EQ(~qm::Crc32Slices(0xFFFFFFFFu, p, n), expected) << offset;
        if (qm::CpuHasCarrylessMultiply()) {
            EXPECT_EQ(~qm::Crc32Folded(0xFFFFFFFFu, p, n), expected) << offset;
        }
        if (qm::CpuHasWideCarrylessMultiply()) {
            EXPECT_EQ(~qm::Crc32FoldedWide(0xFFFFFFFFu, p, n), expected) << offset;
        }
    }
}

}  // namespace
