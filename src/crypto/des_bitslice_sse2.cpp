// des_bitslice_sse2.cpp - bitsliced DES in 128-bit words (SSE2): 128 blocks
// a pass, through the two-input S-box networks.
//
// SSE2 is part of every x86-64 processor, and the 32-bit DLL may assume it
// too, but the i686 build's baseline is older: the functions are compiled for
// SSE2 one by one (target attributes) and only called when the processor
// reports it (DesKernelRuns).  SSE2 has no broadcast from memory, so a key
// bit costs a load and a shuffle.
#include "crypto/des_kernels.h"

#ifdef QM_DES_HAVE_BITSLICED

#include <emmintrin.h>

#include "crypto/des_bitslice_entry.h"

#define QM_DES_TARGET [[gnu::target("sse2")]]

namespace qm {
namespace {

struct Sse2Ops {
    using Word = __m128i;
    static constexpr bool kTernary = false;

    QM_DES_TARGET QM_DES_INLINE static Word Load(const std::uint8_t *p)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    QM_DES_TARGET QM_DES_INLINE static void Store(std::uint8_t *p, Word w)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), w);
    }
    QM_DES_TARGET QM_DES_INLINE static Word And(Word a, Word b) { return _mm_and_si128(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Or(Word a, Word b) { return _mm_or_si128(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Xor(Word a, Word b) { return _mm_xor_si128(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word AndNot(Word a, Word b) { return _mm_andnot_si128(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Not(Word a) { return _mm_xor_si128(a, _mm_set1_epi32(-1)); }
    QM_DES_TARGET QM_DES_INLINE static Word Broadcast(std::uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
    QM_DES_TARGET QM_DES_INLINE static Word Fill64(std::uint64_t v)
    {
        // _mm_set1_epi64x needs a 64-bit register, which the 32-bit build lacks.
        return _mm_set_epi32(static_cast<int>(v >> 32), static_cast<int>(v), static_cast<int>(v >> 32),
                             static_cast<int>(v));
    }
    template <int S>
    QM_DES_TARGET QM_DES_INLINE static Word ShiftLeft64(Word w)
    {
        return _mm_slli_epi64(w, S);
    }
    template <int S>
    QM_DES_TARGET QM_DES_INLINE static Word ShiftRight64(Word w)
    {
        return _mm_srli_epi64(w, S);
    }
    QM_DES_TARGET QM_DES_INLINE static Word XorAnd(Word a, Word b, Word m) { return And(Xor(a, b), m); }
};

}  // namespace
}  // namespace qm

#include "crypto/des_bitslice_engine.h"

namespace qm {

static_assert(Bitsliced<Sse2Ops>::kBatchBlocks == 128);

QM_DES_ENTRY void DesBlocksSse2(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule)
{
    Bitsliced<Sse2Ops>::Ecb(data, blocks, schedule);
}

QM_DES_ENTRY void TripleDesCbcSse2(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1,
                                   const DesSchedule &k2, std::uint8_t chaining[8])
{
    Bitsliced<Sse2Ops>::TripleCbc(data, blocks, k1, k2, chaining);
}

}  // namespace qm

#endif
