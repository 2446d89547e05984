// crc32.h - CRC-32 of IEEE 802.3, reflected (polynomial 0xEDB88320).
//
// Two forms give identical results.  Crc32 serves header blocks a byte at a
// time; Crc32Data serves entry data, eight bytes at a time or by carry-less
// multiplication, whichever the processor does fastest (chosen once, by the
// first caller, safely from any thread).  Both rest on the one constant table
// below.  Neither applies the customary complements: callers start from
// 0xFFFFFFFF and complement the result themselves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qm {

constexpr std::uint32_t kCrc32Polynomial = 0xEDB88320u;

// Byte n's entry: the register after byte n from a register of 0.
constexpr std::array<std::uint32_t, 256> MakeCrc32Table()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ kCrc32Polynomial : c >> 1;
        table[n] = c;
    }
    return table;
}

inline constexpr std::array<std::uint32_t, 256> kCrc32Table = MakeCrc32Table();
static_assert(kCrc32Table[1] == 0x77073096u && kCrc32Table[255] == 0x2D02EF8Du);

// The running value is returned unchanged for a length of 0 or a null pointer.
std::uint32_t Crc32(std::uint32_t value, const void *data, std::uint16_t length);

// The running value is returned unchanged for a length below 1.
std::uint32_t Crc32Data(std::uint32_t value, const void *data, std::int32_t length);

// The data form over a length of any size; the same results.  Both forms
// share nothing but constant tables: any number of threads may call them.
std::uint32_t Crc32Update(std::uint32_t value, const void *data, std::size_t length);

// The register after `length` zero bytes: what a register becomes when the
// bytes after it are folded separately.  With R(v, d) the register after the
// bytes d from the register v, R(v, a then b) = Crc32Shift(R(v, a), |b|) ^
// R(0, b), so two pieces folded apart, each from 0, join into one CRC.  Takes
// time in the logarithm of the length.
std::uint32_t Crc32Shift(std::uint32_t value, std::uint64_t length);

}  // namespace qm
