// des_bitslice_avx512.cpp - bitsliced DES in 512-bit words (AVX-512
// Foundation): 512 blocks a pass, every S-box gate one vpternlogd.
//
// Compiled for AVX-512 function by function (target attributes), so the
// rest of the library keeps its baseline; only called when the processor
// and the operating system support it (DesKernelRuns).  Key bits are 32-bit
// words broadcast as they are used, which the instructions take from memory
// at no extra cost.
#include "crypto/des_kernels.h"

#ifdef QM_DES_HAVE_BITSLICED

#include <immintrin.h>

#include "crypto/des_bitslice_entry.h"

#define QM_DES_TARGET [[gnu::target("avx512f")]]

namespace qm {
namespace {

// The 64-bit lanes as unsigned numbers, for shifts written as plain
// operators: GCC 12's shift intrinsics warn about their own placeholder
// operand at -O2.
using Lanes64 = unsigned long long __attribute__((vector_size(64)));

struct Avx512Ops {
    using Word = __m512i;
    static constexpr bool kTernary = true;

    QM_DES_TARGET QM_DES_INLINE static Word Load(const std::uint8_t *p) { return _mm512_loadu_si512(p); }
    QM_DES_TARGET QM_DES_INLINE static void Store(std::uint8_t *p, Word w) { _mm512_storeu_si512(p, w); }
    QM_DES_TARGET QM_DES_INLINE static Word And(Word a, Word b) { return _mm512_and_si512(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Or(Word a, Word b) { return _mm512_or_si512(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Xor(Word a, Word b) { return _mm512_xor_si512(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word AndNot(Word a, Word b) { return _mm512_andnot_si512(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Not(Word a) { return _mm512_ternarylogic_epi32(a, a, a, 0x55); }
    template <int T>
    QM_DES_TARGET QM_DES_INLINE static Word Ternary(Word a, Word b, Word c)
    {
        return _mm512_ternarylogic_epi32(a, b, c, T);
    }
    QM_DES_TARGET QM_DES_INLINE static Word Broadcast(std::uint32_t v)
    {
        return _mm512_set1_epi32(static_cast<int>(v));
    }
    QM_DES_TARGET QM_DES_INLINE static Word Fill64(std::uint64_t v)
    {
        return _mm512_set1_epi64(static_cast<long long>(v));
    }
    template <int S>
    QM_DES_TARGET QM_DES_INLINE static Word ShiftLeft64(Word w)
    {
        return reinterpret_cast<Word>(reinterpret_cast<Lanes64>(w) << S);
    }
    template <int S>
    QM_DES_TARGET QM_DES_INLINE static Word ShiftRight64(Word w)
    {
        return reinterpret_cast<Word>(reinterpret_cast<Lanes64>(w) >> S);
    }
    // (a ^ b) & m in one gate.
    QM_DES_TARGET QM_DES_INLINE static Word XorAnd(Word a, Word b, Word m) { return Ternary<0x28>(a, b, m); }
};

}  // namespace
}  // namespace qm

#include "crypto/des_bitslice_engine.h"

namespace qm {

static_assert(Bitsliced<Avx512Ops>::kBatchBlocks == 512);

QM_DES_ENTRY void DesBlocksAvx512(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule)
{
    Bitsliced<Avx512Ops>::Ecb(data, blocks, schedule);
}

QM_DES_ENTRY void TripleDesCbcAvx512(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1,
                                     const DesSchedule &k2, std::uint8_t chaining[8])
{
    Bitsliced<Avx512Ops>::TripleCbc(data, blocks, k1, k2, chaining);
}

}  // namespace qm

#endif
