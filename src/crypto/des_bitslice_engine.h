// des_bitslice_engine.h - bitsliced DES over words of any width: the
// transposition in and out, the 16 rounds with every key bit as a whole
// word, and the runs of single DES and of triple-DES CBC deciphering.
//
// A word of W bits holds one bit of W blocks, so a batch is W blocks and its
// state 64 words (see des_bitslice_layout.h for which word is which bit).
// Each S-box is a gate network over whole words (des_sboxes_*.h), so one
// pass through the rounds runs all W blocks at the cost of one.
//
// Transposition: the batch is read as 64 words of W / 8 consecutive bytes,
// word j holding blocks (W / 64) j .. (W / 64) j + W / 64 - 1 in its 64-bit
// lanes.  Six steps of masked swaps (halves of 64, then 32, ... then 1 bit)
// transpose the 64 x 64 bit matrix of each lane position, after which word
// w holds bit w of the lanes' 64-bit values, block by block in the bits.  The
// same steps undo it: a transposition is its own inverse.
//
// Included by each kernel file, after it defines QM_DES_TARGET (its
// instruction set) and its word operations (QM_DES_INLINE comes from
// des_bitslice_entry.h); every
// includer gets its own copy, compiled for its own instruction set.  The word
// operations (Ops) are:
//   Word, kTernary (whether Ops::Ternary<T> exists; else the two-input
//   networks are used), Load/Store (unaligned, sizeof(Word) bytes), And, Or,
//   Xor, AndNot(a, b) = ~a & b, Not, Broadcast(32-bit value to every lane),
//   Fill64(64-bit value to every lane), ShiftLeft64<S>/ShiftRight64<S> (each
//   64-bit lane), XorAnd(a, b, m) = (a ^ b) & m.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/des.h"
#include "crypto/des_bitslice_layout.h"
#include "crypto/des_sboxes_binary.h"
#include "crypto/des_sboxes_ternary.h"
#include "crypto/des_tables.h"

#if defined(__GNUC__)
#define QM_DES_NOINLINE [[gnu::noinline]]
#define QM_DES_UNROLL_ALL _Pragma("GCC unroll 64")
#else
#define QM_DES_NOINLINE
#define QM_DES_UNROLL_ALL
#endif

namespace qm {
namespace {

template <class Ops>
struct Bitsliced {
    using Word = typename Ops::Word;

    // One block per bit of a word.
    static constexpr std::size_t kWordBytes = sizeof(Word);
    static constexpr std::size_t kBatchBlocks = 8 * kWordBytes;
    static constexpr std::size_t kBatchBytes = 8 * kBatchBlocks;
    static_assert(kBatchBytes == 64 * kWordBytes, "a batch is 64 words");
    // Two states and a scratch batch live on the stack of a run.
    static_assert(3 * kBatchBytes <= 12 * 1024, "stack budget of a run");

    // ---- transposition ------------------------------------------------------

    static constexpr std::uint64_t LowBitsOfPairs(int shift)
    {
        // The low `shift` bits of every 2 * shift: 0x00000000FFFFFFFF for 32,
        // ... 0x5555555555555555 for 1.
        std::uint64_t m = 0;
        for (int bit = 0; bit < 64; ++bit)
            if ((bit & shift) == 0)
                m |= std::uint64_t{1} << bit;
        return m;
    }

    // Exchanges the high `Shift` bits of each 2 * Shift in word j with the
    // low ones in word j + Shift, for every j with that bit clear.
    template <int Shift>
    QM_DES_TARGET QM_DES_INLINE static void TransposeStep(Word *w)
    {
        const Word mask = Ops::Fill64(LowBitsOfPairs(Shift));
        QM_DES_UNROLL_ALL for (int j = 0; j < 64; ++j)
        {
            if (j & Shift)
                continue;
            const Word t = Ops::XorAnd(Ops::template ShiftRight64<Shift>(w[j]), w[j + Shift], mask);
            w[j + Shift] = Ops::Xor(w[j + Shift], t);
            w[j] = Ops::Xor(w[j], Ops::template ShiftLeft64<Shift>(t));
        }
    }

    QM_DES_TARGET QM_DES_INLINE static void Transpose(Word *w)
    {
        TransposeStep<32>(w);
        TransposeStep<16>(w);
        TransposeStep<8>(w);
        TransposeStep<4>(w);
        TransposeStep<2>(w);
        TransposeStep<1>(w);
    }

    // The batch at `in` into the state.
    QM_DES_TARGET QM_DES_INLINE static void Slice(Word *state, const std::uint8_t *in)
    {
        QM_DES_UNROLL_ALL for (int j = 0; j < 64; ++j)
            state[j] = Ops::Load(in + j * kWordBytes);
        Transpose(state);
    }

    // The state after the rounds into `out` as 64 words of blocks, through
    // the final permutation.
    QM_DES_TARGET QM_DES_INLINE static void Unslice(Word *out, const Word *state)
    {
        QM_DES_UNROLL_ALL for (int w = 0; w < 64; ++w)
            out[w] = state[des_bitslice::kFinalWord[w]];
        Transpose(out);
    }

    // ---- rounds -------------------------------------------------------------

    // S-box input I of S-box Box: its bit of the source half, XORed with its
    // key bit (all ones or all zeros).
    template <int Box, int I, bool IntoA>
    QM_DES_TARGET QM_DES_INLINE static Word Input(const Word *state, const std::uint32_t *key)
    {
        constexpr int kWord = (IntoA ? des_bitslice::kHalfB : des_bitslice::kHalfA)[des_tables::kE[6 * Box + I] - 1];
        return Ops::Xor(state[kWord], Ops::Broadcast(key[6 * Box + I]));
    }

    // S-box output bit T of S-box Box goes through P into the target half.
    template <int Box, int T, bool IntoA>
    QM_DES_TARGET QM_DES_INLINE static void Output(Word *state, Word y)
    {
        constexpr int kWord =
            (IntoA ? des_bitslice::kHalfA : des_bitslice::kHalfB)[des_bitslice::kSBoxOutputTarget[4 * Box + T]];
        state[kWord] = Ops::Xor(state[kWord], y);
    }

    template <int Box, bool IntoA>
    QM_DES_TARGET QM_DES_INLINE static void SBoxStep(Word *state, const std::uint32_t *key)
    {
        const Word a1 = Input<Box, 0, IntoA>(state, key), a2 = Input<Box, 1, IntoA>(state, key),
                   a3 = Input<Box, 2, IntoA>(state, key), a4 = Input<Box, 3, IntoA>(state, key),
                   a5 = Input<Box, 4, IntoA>(state, key), a6 = Input<Box, 5, IntoA>(state, key);
        Word y1, y2, y3, y4;
        if constexpr (Ops::kTernary)
            ternary_sboxes::SBox<Box, Ops>(a1, a2, a3, a4, a5, a6, y1, y2, y3, y4);
        else
            binary_sboxes::SBox<Box, Ops>(a1, a2, a3, a4, a5, a6, y1, y2, y3, y4);
        Output<Box, 0, IntoA>(state, y1);
        Output<Box, 1, IntoA>(state, y2);
        Output<Box, 2, IntoA>(state, y3);
        Output<Box, 3, IntoA>(state, y4);
    }

    // One round: the round function of one half XORed into the other, with
    // the round's 48 key words.
    template <bool IntoA>
    QM_DES_TARGET QM_DES_INLINE static void Round(Word *state, const std::uint32_t *key)
    {
        SBoxStep<0, IntoA>(state, key);
        SBoxStep<1, IntoA>(state, key);
        SBoxStep<2, IntoA>(state, key);
        SBoxStep<3, IntoA>(state, key);
        SBoxStep<4, IntoA>(state, key);
        SBoxStep<5, IntoA>(state, key);
        SBoxStep<6, IntoA>(state, key);
        SBoxStep<7, IntoA>(state, key);
    }

    // The 16 rounds of one schedule, two at a time: into half A, then into
    // half B; or the other way round for the middle stage of triple DES,
    // whose L0 is the half B that the stage before left.  Not inlined: one
    // copy of this large body serves every run.
    template <bool FirstIntoA>
    QM_DES_TARGET QM_DES_NOINLINE static void SixteenRounds(Word *state, const DesSchedule &schedule)
    {
        const std::uint32_t *key = schedule.keyBits[0];
        for (int round = 0; round < 16; round += 2, key += 2 * 48) {
            Round<FirstIntoA>(state, key);
            Round<!FirstIntoA>(state, key + 48);
        }
    }

    // ---- batches ------------------------------------------------------------

    // One batch of single DES in place.
    QM_DES_TARGET QM_DES_INLINE static void EcbBatch(std::uint8_t *p, const DesSchedule &schedule)
    {
        Word state[64], out[64];
        Slice(state, p);
        SixteenRounds<true>(state, schedule);
        Unslice(out, state);
        QM_DES_UNROLL_ALL for (int j = 0; j < 64; ++j)
            Ops::Store(p + j * kWordBytes, out[j]);
    }

    // One batch of triple-DES CBC deciphering in place, of which the first
    // `blocks` are real (the rest pads a partial batch): each block is XORed
    // with the enciphered block before it, the first with the chaining
    // value, which then becomes the last real enciphered block.
    QM_DES_TARGET QM_DES_INLINE static void TripleCbcBatch(std::uint8_t *p, std::size_t blocks, const DesSchedule &k1,
                                                          const DesSchedule &k2, std::uint8_t chaining[8])
    {
        Word state[64], out[64];
        Slice(state, p);
        SixteenRounds<true>(state, k1);
        SixteenRounds<false>(state, k2);
        SixteenRounds<true>(state, k1);
        Unslice(out, state);

        std::uint8_t next[8];
        std::memcpy(next, p + 8 * (blocks - 1), 8);
        // From the last word down, so the enciphered bytes each word needs
        // (those 8 bytes before it) are still there when it is stored.
        for (std::size_t j = 63; j > 0; --j)
            Ops::Store(p + j * kWordBytes, Ops::Xor(out[j], Ops::Load(p + j * kWordBytes - 8)));
        std::uint8_t before[kWordBytes];
        std::memcpy(before, chaining, 8);
        std::memcpy(before + 8, p, kWordBytes - 8);
        Ops::Store(p, Ops::Xor(out[0], Ops::Load(before)));
        std::memcpy(chaining, next, 8);
    }

    // ---- runs ---------------------------------------------------------------

    // Whole batches in place; a last partial batch is padded with zero
    // blocks in a scratch batch, so nothing past the run is touched.
    QM_DES_TARGET static void Ecb(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule)
    {
        for (; blocks >= kBatchBlocks; blocks -= kBatchBlocks, data += kBatchBytes)
            EcbBatch(data, schedule);
        if (blocks == 0)
            return;
        std::uint8_t scratch[kBatchBytes] = {};
        std::memcpy(scratch, data, 8 * blocks);
        EcbBatch(scratch, schedule);
        std::memcpy(data, scratch, 8 * blocks);
    }

    QM_DES_TARGET static void TripleCbc(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1,
                                       const DesSchedule &k2, std::uint8_t chaining[8])
    {
        for (; blocks >= kBatchBlocks; blocks -= kBatchBlocks, data += kBatchBytes)
            TripleCbcBatch(data, kBatchBlocks, k1, k2, chaining);
        if (blocks == 0)
            return;
        std::uint8_t scratch[kBatchBytes] = {};
        std::memcpy(scratch, data, 8 * blocks);
        TripleCbcBatch(scratch, blocks, k1, k2, chaining);
        std::memcpy(data, scratch, 8 * blocks);
    }
};

}  // namespace
}  // namespace qm
