// des_bitslice_avx2.cpp - bitsliced DES in 256-bit words (AVX2): 256 blocks
// a pass, through the two-input S-box networks.
//
// Compiled for AVX2 function by function (target attributes), so the rest of
// the library keeps its baseline; only called when the processor and the
// operating system support it (DesKernelRuns).  Key bits are 32-bit words
// broadcast from memory as they are used.
#include "crypto/des_kernels.h"

#ifdef QM_DES_HAVE_BITSLICED

#include <immintrin.h>

#include "crypto/des_bitslice_entry.h"

#define QM_DES_TARGET [[gnu::target("avx2")]]

namespace qm {
namespace {

struct Avx2Ops {
    using Word = __m256i;
    static constexpr bool kTernary = false;

    QM_DES_TARGET QM_DES_INLINE static Word Load(const std::uint8_t *p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    }
    QM_DES_TARGET QM_DES_INLINE static void Store(std::uint8_t *p, Word w)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), w);
    }
    QM_DES_TARGET QM_DES_INLINE static Word And(Word a, Word b) { return _mm256_and_si256(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Or(Word a, Word b) { return _mm256_or_si256(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Xor(Word a, Word b) { return _mm256_xor_si256(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word AndNot(Word a, Word b) { return _mm256_andnot_si256(a, b); }
    QM_DES_TARGET QM_DES_INLINE static Word Not(Word a) { return _mm256_xor_si256(a, _mm256_set1_epi32(-1)); }
    QM_DES_TARGET QM_DES_INLINE static Word Broadcast(std::uint32_t v)
    {
        return _mm256_set1_epi32(static_cast<int>(v));
    }
    QM_DES_TARGET QM_DES_INLINE static Word Fill64(std::uint64_t v)
    {
        return _mm256_set1_epi64x(static_cast<long long>(v));
    }
    template <int S>
    QM_DES_TARGET QM_DES_INLINE static Word ShiftLeft64(Word w)
    {
        return _mm256_slli_epi64(w, S);
    }
    template <int S>
    QM_DES_TARGET QM_DES_INLINE static Word ShiftRight64(Word w)
    {
        return _mm256_srli_epi64(w, S);
    }
    QM_DES_TARGET QM_DES_INLINE static Word XorAnd(Word a, Word b, Word m) { return And(Xor(a, b), m); }
};

}  // namespace
}  // namespace qm

#include "crypto/des_bitslice_engine.h"

namespace qm {

static_assert(Bitsliced<Avx2Ops>::kBatchBlocks == 256);

QM_DES_ENTRY void DesBlocksAvx2(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule)
{
    Bitsliced<Avx2Ops>::Ecb(data, blocks, schedule);
}

QM_DES_ENTRY void TripleDesCbcAvx2(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1,
                                   const DesSchedule &k2, std::uint8_t chaining[8])
{
    Bitsliced<Avx2Ops>::TripleCbc(data, blocks, k1, k2, chaining);
}

}  // namespace qm

#endif
