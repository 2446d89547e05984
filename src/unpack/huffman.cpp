// huffman.cpp - building decoding tables.
#include "unpack/huffman.h"

namespace qm {

void BuildDecodeTable(const std::uint8_t *lengths, std::uint32_t count, DecodeTable &table)
{
    if (count > kMainSymbols)
        count = kMainSymbols;

    std::uint32_t lengthCount[16] = {};
    for (std::uint32_t i = 0; i < count; ++i)
        ++lengthCount[lengths[i] & 15];
    lengthCount[0] = 0;

    std::uint32_t nextSlot[16];
    std::uint32_t n = 0;
    table.CodeLimits[0] = 0;
    table.CodePositions[0] = 0;
    nextSlot[0] = 0;
    for (std::uint32_t len = 1; len <= kMaxCodeLength; ++len) {
        n = (n + lengthCount[len]) * 2;
        const std::uint32_t limit = n << (15 - len);
        table.CodeLimits[len] = limit < 65535 ? limit : 65535;
        table.CodePositions[len] = table.CodePositions[len - 1] + lengthCount[len - 1];
        nextSlot[len] = table.CodePositions[len];
    }

    std::uint32_t filled = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t len = lengths[i] & 15;
        if (len != 0) {
            table.CodeSymbols[nextSlot[len]++] = static_cast<std::uint16_t>(i);
            ++filled;
        }
    }
    // Slots no code fills: an incomplete code's missing patterns land here.
    const std::uint16_t fallback = filled ? table.CodeSymbols[0] : 0;
    for (std::uint32_t i = filled; i < count; ++i)
        table.CodeSymbols[i] = fallback;
    table.SymbolCount = count;

    // The lookup on the first kFastBits bits: prefixes [limit(L-1), limit(L))
    // of each length L up to kFastBits, then "longer" for the rest.
    constexpr std::uint32_t kShift = 16 - kFastBits;
    constexpr std::uint32_t kEntries = 1u << kFastBits;
    std::uint32_t prefix = 0;
    for (std::uint32_t len = 1; len <= kFastBits; ++len) {
        const std::uint32_t limit = table.CodeLimits[len];
        const std::uint32_t end = limit >= 65535 ? kEntries : limit >> kShift;
        for (; prefix < end; ++prefix) {
            const std::uint32_t v = prefix << kShift;
            const std::uint32_t index =
                table.CodePositions[len] + ((v - table.CodeLimits[len - 1]) >> (16 - len));
            const std::uint32_t symbol =
                index < count ? table.CodeSymbols[index] : table.CodeSymbols[0];
            table.Fast[prefix] = static_cast<std::uint16_t>(symbol | (len << 12));
        }
    }
    for (; prefix < kEntries; ++prefix)
        table.Fast[prefix] = 0;
}

std::uint32_t DecodeSymbol(const DecodeTable &table)
{
    std::uint32_t length;
    const std::uint32_t symbol = LookupSymbol(table, PeekBits() & 0xFFFE, length);
    SkipBits(length);
    return symbol;
}

}  // namespace qm
