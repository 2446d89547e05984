// crc32.cpp - the header form, the data form's slice-by-8 path, and the
// choice of the data form's path.
#include "crypto/crc32.h"

#include <array>

#include "crypto/cpu_features.h"
#include "crypto/crc32_paths.h"

namespace qm {

namespace {

// The eight slices of the data form, computed by the compiler: slice k, byte n
// is the CRC register after byte n followed by k zero bytes.
using SliceSet = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr SliceSet MakeSlices()
{
    SliceSet t{};
    t[0] = kCrc32Table;
    for (std::size_t k = 1; k < 8; ++k)
        for (std::uint32_t n = 0; n < 256; ++n)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}
constexpr SliceSet kSlices = MakeSlices();

inline std::uint32_t Fold(const std::uint32_t *table, std::uint32_t value,
                          const unsigned char *p, std::uint32_t n)
{
    while (n--)
        value = table[(value ^ *p++) & 0xFF] ^ (value >> 8);
    return value;
}

inline std::uint32_t Load32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Entry data is the bulk of the work.  Without carry-less multiplication the
// data form folds eight bytes at a time ("slicing by eight") through the
// constant slices above.  The folding path is the widest form of carry-less
// multiplication the processor has; null: slices only.
using FoldingPath = std::uint32_t (*)(std::uint32_t, const unsigned char *, std::size_t);

FoldingPath ProcessFolding()
{
    // Asked once, by whichever thread comes first (the compiler guards the
    // initialisation).
    static const FoldingPath folding = CpuHasWideCarrylessMultiply() ? Crc32FoldedWide
                                       : CpuHasCarrylessMultiply()   ? Crc32Folded
                                                                     : nullptr;
    return folding;
}

}  // namespace

std::uint32_t Crc32(std::uint32_t value, const void *data, std::uint16_t length)
{
    if (!data || length == 0)
        return value;
    return Fold(kCrc32Table.data(), value, static_cast<const unsigned char *>(data), length);
}

std::uint32_t Crc32Slices(std::uint32_t value, const unsigned char *p, std::size_t n)
{
    const auto &t = kSlices;
    for (; n >= 8; n -= 8, p += 8) {
        const std::uint32_t a = Load32(p) ^ value;
        const std::uint32_t b = Load32(p + 4);
        value = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
                t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    return Fold(t[0].data(), value, p, static_cast<std::uint32_t>(n));
}

std::uint32_t Crc32Data(std::uint32_t value, const void *data, std::int32_t length)
{
    if (length < 1)
        return value;
    return Crc32Update(value, data, static_cast<std::size_t>(length));
}

std::uint32_t Crc32Update(std::uint32_t value, const void *data, std::size_t length)
{
    const auto *p = static_cast<const unsigned char *>(data);
    if (length == 0)
        return value;
    const FoldingPath folding = ProcessFolding();
    if (folding && length >= kFoldingMinimum)
        return folding(value, p, length);
    return Crc32Slices(value, p, length);
}

namespace {

// Polynomials modulo the CRC's, in the register's reflected form: bit 31 is
// x^0, bit 0 is x^31.  The product a * b mod P, one bit of a at a time, b
// multiplied by x (shifted right, reduced) at each step.
std::uint32_t MultiplyModP(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t product = 0;
    for (std::uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
        if (a & bit)
            product ^= b;
        b = (b & 1) ? (b >> 1) ^ kCrc32Polynomial : b >> 1;
    }
    return product;
}

}  // namespace

std::uint32_t Crc32Shift(std::uint32_t value, std::uint64_t length)
{
    // Folding a zero byte multiplies the register by x^8: `length` bytes by
    // x^(8 * length), made of the squarings x^8, x^16, x^32, ... picked by
    // the bits of length.
    std::uint32_t power = 1u << 23;  // x^8
    std::uint32_t factor = 1u << 31;  // 1
    for (; length != 0; length >>= 1) {
        if (length & 1)
            factor = MultiplyModP(factor, power);
        power = MultiplyModP(power, power);
    }
    return MultiplyModP(factor, value);
}

}  // namespace qm
