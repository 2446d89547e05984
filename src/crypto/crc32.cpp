#include "crypto/crc32.h"

#include <array>

namespace qm {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

constexpr std::uint32_t TableEntry(std::uint32_t n)
{
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k)
        c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    return c;
}

constexpr std::array<std::uint32_t, 256> MakeHeaderTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n)
        table[n] = TableEntry(n);
    return table;
}

constexpr std::array<std::uint32_t, 256> kHeaderTable = MakeHeaderTable();
static_assert(kHeaderTable[1] == 0x77073096u && kHeaderTable[255] == 0x2D02EF8Du);

inline std::uint32_t Fold(const std::uint32_t *table, std::uint32_t value,
                          const unsigned char *p, std::uint32_t n)
{
    while (n--)
        value = table[(value ^ *p++) & 0xFF] ^ (value >> 8);
    return value;
}

}  // namespace

std::uint32_t DataCrcTable[256];

std::uint32_t Crc32(std::uint32_t value, const void *data, std::uint16_t length)
{
    if (!data || length == 0)
        return value;
    return Fold(kHeaderTable.data(), value, static_cast<const unsigned char *>(data), length);
}

std::uint32_t Crc32Data(std::uint32_t value, const void *data, std::int32_t length)
{
    if (length < 1)
        return value;
    return Fold(DataCrcTable, value, static_cast<const unsigned char *>(data),
                static_cast<std::uint32_t>(length));
}

void BuildCrc32Table()
{
    for (std::uint32_t n = 0; n < 256; ++n)
        DataCrcTable[n] = TableEntry(n);
}

}  // namespace qm
