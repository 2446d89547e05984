// crc32_folded.cpp - the data CRC-32 by carry-less multiplication (PCLMULQDQ).
//
// The register after a message M is M(x) * x^32 mod G(x), where the first
// bit of the message (bit 0 of its first byte) is the highest coefficient.
// Sixteen bytes loaded little-endian into a 128-bit lane hold 128
// coefficients: the low 64-bit half the higher ones (x^127..x^64), the high
// half the lower ones (x^63..x^0), each half bit-reflected.
//
// Folding: a lane A that lies D bits ahead of lane B contributes A * x^D, and
// only its remainder mod G matters.  With A = Alo * x^64 + Ahi,
//     A * x^D  =  Alo * x^(D+64) + Ahi * x^D  (mod G),
// and replacing x^(D+64) and x^D by their remainders (degree below 32) turns
// each half into one 64 x 32-bit carry-less product of degree below 128,
// which is XORed into B.  A product of two bit-reflected operands comes out
// multiplied by one extra x, and a remainder placed in the low 32 bits of a
// 64-bit reflected operand stands for itself times x^32; the multipliers are
// therefore x^(D+31) and x^(D-33) mod G (crc32_fold_multipliers.h).
//
// The main loop keeps eight lanes in flight (128 bytes a step, D = 1024) so
// that the multiplier's latency is hidden; the lanes are then folded into one
// (D = 128), which takes the remaining whole 16-byte blocks.  The last lane
// is reduced by running its 16 bytes through the slice tables from a zero
// register, which yields exactly lane * x^32 mod G, and the last 0 to 15
// bytes follow the same way.
//
// The functions carry their own target attribute, so the rest of the library
// keeps the build's baseline instruction set (i686 for the 32-bit DLL) and
// this code runs only after the CPU check.
#include "crypto/crc32_paths.h"
#include "crypto/crc32_fold_multipliers.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#define QM_HAVE_FOLDING 1
#include <immintrin.h>
#endif

namespace qm {

#ifdef QM_HAVE_FOLDING

namespace {

using crc32_folding::FoldPair;
using crc32_folding::MultipliersFor;

constexpr FoldPair kAcross8 = MultipliersFor(8 * 128);
constexpr FoldPair kAcross1 = MultipliersFor(128);

#define QM_FOLDING_TARGET [[gnu::target("pclmul,sse2")]]

// 32-bit Windows keeps the stack aligned to 4 bytes only; the entry point
// realigns it for the 16-byte values the compiler may spill.
#ifdef __i386__
#define QM_FOLDING_ENTRY [[gnu::force_align_arg_pointer]]
#else
#define QM_FOLDING_ENTRY
#endif

QM_FOLDING_TARGET inline __m128i Multipliers(FoldPair pair)
{
    return _mm_set_epi64x(static_cast<long long>(pair.high), static_cast<long long>(pair.low));
}

QM_FOLDING_TARGET inline __m128i Load(const unsigned char *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// lane * x^D folded onto next.
QM_FOLDING_TARGET inline __m128i Fold(__m128i lane, __m128i next, __m128i multipliers)
{
    const __m128i low = _mm_clmulepi64_si128(lane, multipliers, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, multipliers, 0x11);
    return _mm_xor_si128(next, _mm_xor_si128(low, high));
}

}  // namespace

QM_FOLDING_ENTRY QM_FOLDING_TARGET std::uint32_t Crc32Folded(std::uint32_t value, const unsigned char *p,
                                            std::size_t n)
{
    if (n < 16)
        return Crc32Slices(value, p, n);
    const __m128i across1 = Multipliers(kAcross1);
    // The register stands for the first 32 coefficients still to be reduced.
    __m128i x = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(value)));
    p += 16;
    n -= 16;

    if (n >= 240) {
        const __m128i across8 = Multipliers(kAcross8);
        __m128i l1 = Load(p), l2 = Load(p + 16), l3 = Load(p + 32), l4 = Load(p + 48);
        __m128i l5 = Load(p + 64), l6 = Load(p + 80), l7 = Load(p + 96);
        p += 112;
        n -= 112;
        for (; n >= 128; p += 128, n -= 128) {
            x = Fold(x, Load(p), across8);
            l1 = Fold(l1, Load(p + 16), across8);
            l2 = Fold(l2, Load(p + 32), across8);
            l3 = Fold(l3, Load(p + 48), across8);
            l4 = Fold(l4, Load(p + 64), across8);
            l5 = Fold(l5, Load(p + 80), across8);
            l6 = Fold(l6, Load(p + 96), across8);
            l7 = Fold(l7, Load(p + 112), across8);
        }
        x = Fold(x, l1, across1);
        x = Fold(x, l2, across1);
        x = Fold(x, l3, across1);
        x = Fold(x, l4, across1);
        x = Fold(x, l5, across1);
        x = Fold(x, l6, across1);
        x = Fold(x, l7, across1);
    }
    for (; n >= 16; p += 16, n -= 16)
        x = Fold(x, Load(p), across1);

    unsigned char lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lane), x);
    return Crc32Slices(Crc32Slices(0, lane, 16), p, n);
}

#else  // no carry-less multiplication on this target: the CPU check says no

std::uint32_t Crc32Folded(std::uint32_t value, const unsigned char *p, std::size_t n)
{
    return Crc32Slices(value, p, n);
}

#endif

}  // namespace qm
