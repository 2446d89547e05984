// The S-box gate networks of the bitsliced kernels against the S-box table,
// on all 64 inputs at once: each network runs on 64-bit words whose bit x is
// the value of an input for the S-box input x, so every output word must be
// the truth table of that output bit.
#include <gtest/gtest.h>

#include <cstdint>

#include "crypto/des_tables.h"

#define QM_DES_TARGET
#define QM_DES_INLINE inline
#include "crypto/des_sboxes_binary.h"
#include "crypto/des_sboxes_ternary.h"

namespace {

using Truth = std::uint64_t;

// The gates on 64-bit words, written from their definitions.
struct TruthOps {
    static Truth And(Truth a, Truth b) { return a & b; }
    static Truth Or(Truth a, Truth b) { return a | b; }
    static Truth Xor(Truth a, Truth b) { return a ^ b; }
    static Truth AndNot(Truth a, Truth b) { return ~a & b; }
    static Truth Not(Truth a) { return ~a; }
    // Bit (a << 2 | b << 1 | c) of T, bit position by bit position.
    template <int T>
    static Truth Ternary(Truth a, Truth b, Truth c)
    {
        Truth r = 0;
        for (int bit = 0; bit < 64; ++bit) {
            const int index = static_cast<int>((a >> bit) & 1) << 2 | static_cast<int>((b >> bit) & 1) << 1 |
                              static_cast<int>((c >> bit) & 1);
            r |= static_cast<Truth>((T >> index) & 1) << bit;
        }
        return r;
    }
};

// Input i of six (0 the first), as a truth table over the 64 inputs.
Truth InputTruth(int i)
{
    Truth t = 0;
    for (int x = 0; x < 64; ++x)
        t |= static_cast<Truth>((x >> (5 - i)) & 1) << x;
    return t;
}

// Output bit o of four (0 the most significant) of S-box `box`.
Truth OutputTruth(int box, int o)
{
    Truth t = 0;
    for (int x = 0; x < 64; ++x)
        t |= static_cast<Truth>((qm::des_tables::SBoxOutput(box, x) >> (3 - o)) & 1) << x;
    return t;
}

struct Outputs {
    Truth y[4];
};

template <int Box, bool Ternary>
Outputs Run()
{
    Outputs out{};
    if constexpr (Ternary)
        qm::ternary_sboxes::SBox<Box, TruthOps>(InputTruth(0), InputTruth(1), InputTruth(2), InputTruth(3),
                                                 InputTruth(4), InputTruth(5), out.y[0], out.y[1], out.y[2],
                                                 out.y[3]);
    else
        qm::binary_sboxes::SBox<Box, TruthOps>(InputTruth(0), InputTruth(1), InputTruth(2), InputTruth(3),
                                                InputTruth(4), InputTruth(5), out.y[0], out.y[1], out.y[2],
                                                out.y[3]);
    return out;
}

template <bool Ternary>
void CheckAllBoxes()
{
    const Outputs got[8] = {Run<0, Ternary>(), Run<1, Ternary>(), Run<2, Ternary>(), Run<3, Ternary>(),
                            Run<4, Ternary>(), Run<5, Ternary>(), Run<6, Ternary>(), Run<7, Ternary>()};
    for (int box = 0; box < 8; ++box)
        for (int o = 0; o < 4; ++o)
            EXPECT_EQ(got[box].y[o], OutputTruth(box, o)) << "S-box " << box + 1 << " output " << o + 1;
}

TEST(DesSBoxNetworks, TwoInputGatesMatchTheTableOnEveryInput) { CheckAllBoxes<false>(); }

TEST(DesSBoxNetworks, ThreeInputGatesMatchTheTableOnEveryInput) { CheckAllBoxes<true>(); }

// The truth tables themselves follow the row and column rule of the
// standard: S-box 1 maps input 0 to 14 and input 63 (row 3, column 15) to 13.
TEST(DesSBoxNetworks, TruthTablesFollowTheRowAndColumnRule)
{
    EXPECT_EQ(qm::des_tables::SBoxOutput(0, 0), 14);
    EXPECT_EQ(qm::des_tables::SBoxOutput(0, 63), 13);
    EXPECT_EQ(qm::des_tables::SBoxOutput(0, 0b000001), 0);   // row 1, column 0
    EXPECT_EQ(qm::des_tables::SBoxOutput(7, 0b100000), 7);   // S-box 8, row 2, column 0
}

}  // namespace
