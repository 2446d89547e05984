// crc32_folded_wide.cpp - the data CRC-32 by carry-less multiplication on
// two 128-bit lanes at once (VPCLMULQDQ in 256-bit registers, with AVX2).
//
// The arithmetic is that of crc32_folded.cpp; only the width changes.  Each
// 256-bit register holds two consecutive 16-byte lanes, and one instruction
// multiplies both.  The main loop keeps eight registers (sixteen lanes, 256
// bytes) in flight, so every lane folds over 2048 bits a step.  The registers
// are then folded into one, each onto the next 256 bits on, its two lanes
// into one 128-bit lane, and the 128-bit path takes over for the rest.
#include "crypto/crc32_fold_multipliers.h"
#include "crypto/crc32_paths.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#define QM_HAVE_WIDE_FOLDING 1
#include <immintrin.h>
#endif

namespace qm {

#ifdef QM_HAVE_WIDE_FOLDING

namespace {

using crc32_folding::FoldPair;
using crc32_folding::MultipliersFor;

constexpr FoldPair kAcross16 = MultipliersFor(16 * 128);
constexpr FoldPair kAcross2 = MultipliersFor(2 * 128);
constexpr FoldPair kAcross1 = MultipliersFor(128);

// Below this the set-up and the final folds outweigh the wide loop.
constexpr std::size_t kWideMinimum = 512;

#define QM_WIDE_TARGET [[gnu::target("pclmul,avx2,vpclmulqdq")]]

// 32-bit Windows keeps the stack aligned to 4 bytes only; the entry point
// realigns it for the 32-byte values the compiler may spill.
#ifdef __i386__
#define QM_WIDE_ENTRY [[gnu::force_align_arg_pointer]]
#else
#define QM_WIDE_ENTRY
#endif

QM_WIDE_TARGET inline __m256i Multipliers(FoldPair pair)
{
    const auto low = static_cast<long long>(pair.low);
    const auto high = static_cast<long long>(pair.high);
    return _mm256_set_epi64x(high, low, high, low);
}

QM_WIDE_TARGET inline __m256i Load(const unsigned char *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

QM_WIDE_TARGET inline __m256i Fold(__m256i lanes, __m256i next, __m256i multipliers)
{
    const __m256i low = _mm256_clmulepi64_epi128(lanes, multipliers, 0x00);
    const __m256i high = _mm256_clmulepi64_epi128(lanes, multipliers, 0x11);
    return _mm256_xor_si256(next, _mm256_xor_si256(low, high));
}

}  // namespace

QM_WIDE_ENTRY QM_WIDE_TARGET std::uint32_t Crc32FoldedWide(std::uint32_t value, const unsigned char *p,
                                             std::size_t n)
{
    if (n < kWideMinimum)
        return Crc32Folded(value, p, n);
    const __m256i across16 = Multipliers(kAcross16);
    __m256i r0 = _mm256_xor_si256(Load(p), _mm256_set_epi32(0, 0, 0, 0, 0, 0, 0, static_cast<int>(value)));
    __m256i r1 = Load(p + 32), r2 = Load(p + 64), r3 = Load(p + 96);
    __m256i r4 = Load(p + 128), r5 = Load(p + 160), r6 = Load(p + 192), r7 = Load(p + 224);
    p += 256;
    n -= 256;
    for (; n >= 256; p += 256, n -= 256) {
        r0 = Fold(r0, Load(p), across16);
        r1 = Fold(r1, Load(p + 32), across16);
        r2 = Fold(r2, Load(p + 64), across16);
        r3 = Fold(r3, Load(p + 96), across16);
        r4 = Fold(r4, Load(p + 128), across16);
        r5 = Fold(r5, Load(p + 160), across16);
        r6 = Fold(r6, Load(p + 192), across16);
        r7 = Fold(r7, Load(p + 224), across16);
    }
    const __m256i across2 = Multipliers(kAcross2);
    r0 = Fold(r0, r1, across2);
    r0 = Fold(r0, r2, across2);
    r0 = Fold(r0, r3, across2);
    r0 = Fold(r0, r4, across2);
    r0 = Fold(r0, r5, across2);
    r0 = Fold(r0, r6, across2);
    r0 = Fold(r0, r7, across2);

    // The two lanes of r0 into one; its remainder is the register after the
    // bytes so far, and the 128-bit path takes the rest.
    const __m128i across1 = _mm_set_epi64x(static_cast<long long>(kAcross1.high),
                                           static_cast<long long>(kAcross1.low));
    const __m128i first = _mm256_castsi256_si128(r0);
    __m128i lane = _mm256_extracti128_si256(r0, 1);
    lane = _mm_xor_si128(lane, _mm_clmulepi64_si128(first, across1, 0x00));
    lane = _mm_xor_si128(lane, _mm_clmulepi64_si128(first, across1, 0x11));
    unsigned char block[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(block), lane);
    return Crc32Folded(Crc32Slices(0, block, 16), p, n);
}

#else  // no wide carry-less multiplication on this target: the CPU check says no

std::uint32_t Crc32FoldedWide(std::uint32_t value, const unsigned char *p, std::size_t n)
{
    return Crc32Folded(value, p, n);
}

#endif

}  // namespace qm
