// des.cpp - the key schedule, and the DES block cipher through tables: one
// block, and short runs of blocks (the bitsliced kernels take long ones).
//
// The 64-bit block is handled as two 32-bit halves, L (bytes 0-3) and R
// (bytes 4-7), big-endian.  The initial and final permutations are each five
// masked swaps between the halves.
//
// A round computes L ^= P(S(E(R) ^ K)).  The expansion E cuts R into eight
// overlapping 6-bit groups, group j being bits 4j .. 4j+5 of R in DES
// numbering (bit 1 the most significant, bit 0 standing for bit 32).  Rotated
// right by 3, R has groups 1, 3, 5, 7 (counting from 1) in the low six bits of
// its four bytes; rotated left by 1 it has groups 2, 4, 6, 8 there.  The round
// key words hold their groups in the same places.  The halves are kept
// rotated right by 3 for the whole of the rounds, so a round needs one
// rotation by 4, two XORs with the round key words, byte extractions and
// eight lookups into tables that combine each S-box with the P permutation
// (their output rotated right by 3 as well).
//
// Each combined table has 256 entries, the 64 of its S-box four times over,
// so a whole byte indexes it: the two bits above a group need no masking.
// The eight tables take 8 KiB, which stays in the first-level cache.
//
// Independent blocks (electronic code book, and CBC deciphering, where each
// block needs only the enciphered block before it) are run several at a time
// through the same rounds, so the processor overlaps their table lookups.
#include "crypto/des.h"

#include <array>
#include <cstring>

#include "crypto/des_kernels.h"
#include "crypto/des_tables.h"

namespace qm {

namespace {

using des_tables::kKeyShifts;
using des_tables::kP;
using des_tables::kPc1;
using des_tables::kPc2;
using des_tables::kSBox;

// The hot paths rely on the compiler inlining the block steps whole, so the
// halves of all blocks in flight stay in registers.
#if defined(__GNUC__)
#define QM_DES_INLINE inline __attribute__((always_inline))
#define QM_DES_UNROLL _Pragma("GCC unroll 16")
#else
#define QM_DES_INLINE inline
#define QM_DES_UNROLL
#endif

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
constexpr std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// ---- the combined S-box and P tables ------------------------------------------

// Entry b of table j: S-box j applied to the 6-bit group in the low bits of b
// (its top bit is the group's first bit), placed at output bits 4j+1 .. 4j+4,
// permuted by P and rotated right by 3 like the halves.  The top two bits of b
// do not count.
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeSpTables()
{
    std::array<std::array<std::uint32_t, 256>, 8> sp{};
    for (int j = 0; j < 8; ++j)
        for (int b = 0; b < 256; ++b) {
            const int x = b & 63;
            const int row = ((x >> 4) & 2) | (x & 1);
            const int column = (x >> 1) & 15;
            const std::uint32_t s = std::uint32_t{kSBox[j][row][column]} << (28 - 4 * j);
            std::uint32_t p = 0;
            for (int i = 0; i < 32; ++i)
                if ((s >> (32 - kP[i])) & 1)
                    p |= 1u << (31 - i);
            sp[j][b] = Rotr(p, 3);
        }
    return sp;
}

constexpr auto kSp = MakeSpTables();

// ---- halves, permutations, rounds -------------------------------------------

QM_DES_INLINE std::uint32_t LoadBe32(const std::uint8_t *p)
{
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
#else
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
           std::uint32_t{p[3]};
#endif
}

QM_DES_INLINE void StoreBe32(std::uint8_t *p, std::uint32_t v)
{
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
#else
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
#endif
}

// Exchanges the bits of b selected by mask with the bits of a selected by
// mask << shift.
QM_DES_INLINE void SwapBits(std::uint32_t &a, std::uint32_t &b, int shift, std::uint32_t mask)
{
    const std::uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// The initial permutation, leaving both halves rotated right by 3.
QM_DES_INLINE void InitialPermutation(std::uint32_t &l, std::uint32_t &r)
{
    SwapBits(l, r, 4, 0x0F0F0F0Fu);
    SwapBits(l, r, 16, 0x0000FFFFu);
    SwapBits(r, l, 2, 0x33333333u);
    SwapBits(r, l, 8, 0x00FF00FFu);
    SwapBits(l, r, 1, 0x55555555u);
    l = Rotr(l, 3);
    r = Rotr(r, 3);
}

// The final permutation of the halves (rotated right by 3) that leave the
// last round; the inverse of the initial one, its swaps in reverse order.
QM_DES_INLINE void FinalPermutation(std::uint32_t &l, std::uint32_t &r)
{
    l = Rotl(l, 3);
    r = Rotl(r, 3);
    SwapBits(l, r, 1, 0x55555555u);
    SwapBits(r, l, 8, 0x00FF00FFu);
    SwapBits(r, l, 2, 0x33333333u);
    SwapBits(l, r, 16, 0x0000FFFFu);
    SwapBits(l, r, 4, 0x0F0F0F0Fu);
}

// The round function of a half kept rotated right by 3.
QM_DES_INLINE std::uint32_t RoundFunction(std::uint32_t r, std::uint32_t k0, std::uint32_t k1)
{
    const std::uint32_t u = r ^ k0;
    const std::uint32_t t = Rotl(r, 4) ^ k1;
    return kSp[0][u >> 24] ^ kSp[2][(u >> 16) & 0xFF] ^ kSp[4][(u >> 8) & 0xFF] ^ kSp[6][u & 0xFF] ^
           kSp[1][t >> 24] ^ kSp[3][(t >> 16) & 0xFF] ^ kSp[5][(t >> 8) & 0xFF] ^ kSp[7][t & 0xFF];
}

// The 16 rounds over N blocks at once, two rounds a step so the halves trade
// roles without copies.  Afterwards l holds L16 and r holds R16; the block
// that leaves the cipher is R16 L16.
template <int N>
QM_DES_INLINE void SixteenRounds(std::uint32_t (&l)[N], std::uint32_t (&r)[N], const std::uint32_t *k)
{
    for (int i = 0; i < 32; i += 4) {
        QM_DES_UNROLL for (int n = 0; n < N; ++n)
            l[n] ^= RoundFunction(r[n], k[i], k[i + 1]);
        QM_DES_UNROLL for (int n = 0; n < N; ++n)
            r[n] ^= RoundFunction(l[n], k[i + 2], k[i + 3]);
    }
}

template <int N>
QM_DES_INLINE void LoadBlocks(const std::uint8_t *p, std::uint32_t (&l)[N], std::uint32_t (&r)[N])
{
    QM_DES_UNROLL for (int n = 0; n < N; ++n) {
        l[n] = LoadBe32(p + 8 * n);
        r[n] = LoadBe32(p + 8 * n + 4);
        InitialPermutation(l[n], r[n]);
    }
}

// Stores the blocks whose halves leave the rounds as (first, second).
template <int N>
QM_DES_INLINE void StoreBlocks(std::uint8_t *p, std::uint32_t (&first)[N], std::uint32_t (&second)[N])
{
    QM_DES_UNROLL for (int n = 0; n < N; ++n) {
        FinalPermutation(first[n], second[n]);
        StoreBe32(p + 8 * n, first[n]);
        StoreBe32(p + 8 * n + 4, second[n]);
    }
}

template <int N>
QM_DES_INLINE void EcbStep(std::uint8_t *p, const DesSchedule &s)
{
    std::uint32_t l[N], r[N];
    LoadBlocks(p, l, r);
    SixteenRounds(l, r, s.words);
    StoreBlocks(p, r, l);
}

// Triple DES without the permutations between the stages: the block that
// leaves one stage (R16 L16) enters the next one's rounds as its L0 R0.
template <int N>
QM_DES_INLINE void TripleCbcStep(std::uint8_t *p, const DesSchedule &k1, const DesSchedule &k2,
                                std::uint8_t chaining[8])
{
    std::uint8_t enciphered[8 * N];
    std::memcpy(enciphered, p, 8 * N);

    std::uint32_t l[N], r[N];
    LoadBlocks(p, l, r);
    SixteenRounds(l, r, k1.words);
    SixteenRounds(r, l, k2.words);
    SixteenRounds(l, r, k1.words);
    StoreBlocks(p, r, l);

    for (int i = 0; i < 8; ++i)
        p[i] ^= chaining[i];
    for (int i = 8; i < 8 * N; ++i)
        p[i] ^= enciphered[i - 8];
    std::memcpy(chaining, enciphered + 8 * (N - 1), 8);
}

// How many blocks go through the rounds together.
constexpr int kLanes = 4;

}  // namespace

void BuildDesSchedule(const std::uint8_t key[8], DesDirection direction, DesSchedule &schedule)
{
    std::uint64_t k = 0;
    for (int i = 0; i < 8; ++i)
        k = k << 8 | key[i];

    // Permuted choice 1 drops the parity bits and splits the rest in C and D.
    std::uint64_t cd = 0;
    for (int i = 0; i < 56; ++i)
        cd = cd << 1 | ((k >> (64 - kPc1[i])) & 1);
    std::uint32_t c = static_cast<std::uint32_t>(cd >> 28) & 0x0FFFFFFFu;
    std::uint32_t d = static_cast<std::uint32_t>(cd) & 0x0FFFFFFFu;

    for (int round = 0; round < 16; ++round) {
        const int s = kKeyShifts[round];
        c = ((c << s) | (c >> (28 - s))) & 0x0FFFFFFFu;
        d = ((d << s) | (d >> (28 - s))) & 0x0FFFFFFFu;
        const std::uint64_t joined = std::uint64_t{c} << 28 | d;

        // Permuted choice 2 gives the 48-bit round key, eight 6-bit groups.
        std::uint64_t subkey = 0;
        for (int i = 0; i < 48; ++i)
            subkey = subkey << 1 | ((joined >> (56 - kPc2[i])) & 1);
        std::uint32_t group[8];
        for (int g = 0; g < 8; ++g)
            group[g] = static_cast<std::uint32_t>(subkey >> (42 - 6 * g)) & 0x3F;

        const int slot = direction == DesDirection::Encrypt ? round : 15 - round;
        schedule.words[2 * slot] = group[0] << 24 | group[2] << 16 | group[4] << 8 | group[6];
        schedule.words[2 * slot + 1] = group[1] << 24 | group[3] << 16 | group[5] << 8 | group[7];
        for (int i = 0; i < 48; ++i)
            schedule.keyBits[slot][i] = ((subkey >> (47 - i)) & 1) != 0 ? ~std::uint32_t{0} : 0;
    }
}

void DesBlock(std::uint8_t block[8], const DesSchedule &schedule) { EcbStep<1>(block, schedule); }

void DesBlocksTable(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule)
{
    for (; blocks >= kLanes; blocks -= kLanes, data += 8 * kLanes)
        EcbStep<kLanes>(data, schedule);
    for (; blocks != 0; --blocks, data += 8)
        EcbStep<1>(data, schedule);
}

void TripleDesCbcTable(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1, const DesSchedule &k2,
                       std::uint8_t chaining[8])
{
    for (; blocks >= kLanes; blocks -= kLanes, data += 8 * kLanes)
        TripleCbcStep<kLanes>(data, k1, k2, chaining);
    for (; blocks != 0; --blocks, data += 8)
        TripleCbcStep<1>(data, k1, k2, chaining);
}

}  // namespace qm
