// crc32.h - CRC-32 of IEEE 802.3, reflected (polynomial 0xEDB88320).
//
// Two forms give identical results.  Crc32 serves header blocks a byte at a
// time; Crc32Data serves entry data, eight bytes at a time or by carry-less
// multiplication, whichever BuildCrc32Table chose at the start of the
// extraction run.  Both rest on the one constant table below.  Neither applies the customary complements: callers start from
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

// The data form for callers that share nothing: constant tables and a
// folding path chosen once, safe from any number of threads at once.  Gives
// the same results as Crc32Data.
std::uint32_t Crc32Update(std::uint32_t value, const void *data, std::size_t length);

// Chooses how Crc32Data folds: by carry-less multiplication where the
// processor has it, else through slice tables.
void BuildCrc32Table();

// Lets the next BuildCrc32Table choose carry-less multiplication (the
// default) or not; tests use it to reach the portable path through Crc32Data.
void SetDataCrcFolding(bool allowed);

}  // namespace qm
