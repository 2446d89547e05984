// block_scan.cpp - a sliding CRC-32 over the 424 checked bytes of a block.
//
// The CRC register is linear over GF(2).  With R(I, m) the register after
// bytes m starting from I, a window w = a + w' (a the byte that leaves) and
// W = 424:
//
//   R(I, w' + b) = Step(R(I, w), b) ^ Z(Step(I, a)) ^ Z(I)
//
// where Z is the effect of W zero bytes on a register.  Z is linear, so the
// last two terms form one table over the leaving byte a.  Each offset then
// costs two table steps instead of 424.
#include "container/block_scan.h"

#include <array>

#include "container/header_block.h"
#include "crypto/crc32.h"

namespace qm {

namespace {

constexpr std::size_t kCheckedBytes = kHeaderBlockSize - kBlockMagicOffset;  // 424
constexpr std::uint32_t kInitial = 0xFFFFFFFFu;

std::uint32_t Step(std::uint32_t value, std::uint8_t byte) { return Crc32(value, &byte, 1); }

std::uint32_t ZeroBytes(std::uint32_t value)
{
    static const std::array<std::uint8_t, kCheckedBytes> zeros{};
    return Crc32(value, zeros.data(), static_cast<std::uint16_t>(zeros.size()));
}

struct LeavingByteTable {
    std::array<std::uint32_t, 256> entry;
    LeavingByteTable()
    {
        const std::uint32_t base = ZeroBytes(kInitial);
        for (unsigned a = 0; a < 256; ++a)
            entry[a] = ZeroBytes(Step(kInitial, static_cast<std::uint8_t>(a))) ^ base;
    }
};

}  // namespace

std::int64_t ScanForHeaderBlock(const std::uint8_t *data, std::size_t size)
{
    if (size < kHeaderBlockSize)
        return -1;
    static const LeavingByteTable leaving;

    // The register over bytes 8..431 of the block at offset j.
    std::uint32_t crc = Crc32(kInitial, data + kBlockMagicOffset, static_cast<std::uint16_t>(kCheckedBytes));
    const std::size_t last = size - kHeaderBlockSize;
    for (std::size_t j = 0;; ++j) {
        if (~crc == Load32(data + j + kBlockCrcOffset))
            return static_cast<std::int64_t>(j);
        if (j == last)
            return -1;
        crc = Step(crc, data[j + kHeaderBlockSize]) ^ leaving.entry[data[j + kBlockMagicOffset]];
    }
}

}  // namespace qm
