// crc32_fold_multipliers.h - the multipliers that carry a 128-bit lane of
// the data CRC-32 forward by a given number of bits (see crc32_folded.cpp for
// the arithmetic).  All are computed at compile time.
#pragma once

#include <cstdint>

namespace qm::crc32_folding {

// x^n mod G for the reflected polynomial, placed as a lane multiplier: the
// coefficient of x^d in bit 31 - d.
constexpr std::uint64_t FoldMultiplier(unsigned n)
{
    constexpr std::uint32_t kNormalPolynomial = 0x04C11DB7u;  // G without x^32
    std::uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i)
        r = (r << 1) ^ ((r >> 31) ? kNormalPolynomial : 0u);
    std::uint32_t reflected = 0;
    for (unsigned d = 0; d < 32; ++d)
        reflected |= ((r >> d) & 1u) << (31 - d);
    return reflected;
}

// Multipliers for a fold over `bits`: the low half's, then the high half's.
struct FoldPair {
    std::uint64_t low, high;
};

constexpr FoldPair MultipliersFor(unsigned bits)
{
    return {FoldMultiplier(bits + 31), FoldMultiplier(bits - 33)};
}

}  // namespace qm::crc32_folding
