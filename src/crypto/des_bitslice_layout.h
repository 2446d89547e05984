// des_bitslice_layout.h - where each bit of a block lives in the bitsliced
// state, and how the rounds read and write it.
//
// A batch of blocks is transposed so that word w holds bit w of every block's
// little-endian 64-bit value: DES bit d (1 the most significant bit of byte
// 0) is lane bit 8 * byte + 7 - bit-in-byte, see WordOfBit.  The initial and
// final permutations move whole words, so they are only names: the left half
// L0 of the permuted block is the 32 words of kHalfA, the right half R0 those
// of kHalfB, and the rounds work on the words where they are.
//
// Round 1 XORs f(half B) into half A, round 2 f(half A) into half B, and so
// on; after 16 rounds half A holds L16 and half B R16.  The block that leaves
// the cipher is R16 L16 through the final permutation: kFinalWord gives, for
// each word of the output, the state word it comes from.  Triple DES goes on
// alternating for 48 rounds: the output of one stage, permuted back, would be
// the next stage's L0 R0 = R16 L16, which half B and half A already hold, so
// the middle stage starts with a round into half B.
//
// All of this is constant data computed from the tables of the standard.
#pragma once

#include <array>

#include "crypto/des_tables.h"

namespace qm::des_bitslice {

// The word holding DES bit d (1..64) of every block.
constexpr int WordOfBit(int d) { return 8 * ((d - 1) / 8) + 7 - (d - 1) % 8; }

using Words32 = std::array<int, 32>;

// The state words of L0 (half A) and R0 (half B), bit 1 first.
constexpr Words32 MakeHalf(int first)
{
    Words32 h{};
    for (int m = 0; m < 32; ++m)
        h[m] = WordOfBit(des_tables::kIp[first + m]);
    return h;
}
inline constexpr Words32 kHalfA = MakeHalf(0);
inline constexpr Words32 kHalfB = MakeHalf(32);

// S-box output bit q (0..31, S-box 1's four first) lands on bit
// kSBoxOutputTarget[q] (0..31) of the round function's result.
constexpr Words32 MakeSBoxOutputTarget()
{
    Words32 t{};
    for (int m = 0; m < 32; ++m)
        t[des_tables::kP[m] - 1] = m;
    return t;
}
inline constexpr Words32 kSBoxOutputTarget = MakeSBoxOutputTarget();

// Output word w (bit w of the little-endian value of every output block) is
// state word kFinalWord[w].
constexpr std::array<int, 64> MakeFinalWord()
{
    std::array<int, 64> f{};
    for (int i = 1; i <= 64; ++i) {
        // Bit i of R16 L16 is output bit kIp[i - 1] after the final
        // permutation; R16 sits in half B, L16 in half A.
        const int from = i <= 32 ? kHalfB[i - 1] : kHalfA[i - 33];
        f[WordOfBit(des_tables::kIp[i - 1])] = from;
    }
    return f;
}
inline constexpr std::array<int, 64> kFinalWord = MakeFinalWord();

// Every word is used once by each map.
constexpr bool Covers64(const Words32 &a, const Words32 &b)
{
    unsigned long long seen = 0;
    for (int w : a)
        seen |= 1ull << w;
    for (int w : b)
        seen |= 1ull << w;
    return seen == ~0ull;
}
static_assert(Covers64(kHalfA, kHalfB));

constexpr bool IsWordPermutation(const std::array<int, 64> &map)
{
    unsigned long long seen = 0;
    for (int w : map)
        seen |= 1ull << w;
    return seen == ~0ull;
}
static_assert(IsWordPermutation(kFinalWord));

}  // namespace qm::des_bitslice
