// huffman.cpp - building decoding tables.
#include "unpack/huffman.h"

namespace qm {

namespace {

constexpr std::uint32_t kPrefixShift = 16 - kRootBits;  // a root slot spans 32 values of v

// The entry of one symbol with a code of codeLength bits, in a table of role.
std::uint32_t MakeEntry(std::uint32_t symbol, std::uint32_t codeLength, CodeRole role)
{
    std::uint32_t kind = 0;
    std::uint32_t value = symbol;
    std::uint32_t extra = 0;
    switch (role) {
    case CodeRole::Symbols:
        break;
    case CodeRole::Main:
        if (symbol < 256) {
            kind = kKindLiteral;
        } else if (symbol >= static_cast<std::uint32_t>(kSymLength)) {
            const std::uint32_t k = symbol - kSymLength;
            kind = kKindLength;
            value = LengthBase[k] + 3u;
            extra = LengthBits[k];
        } else if (symbol >= static_cast<std::uint32_t>(kSymShortDistance) &&
                   symbol < static_cast<std::uint32_t>(kSymNewTables)) {
            const std::uint32_t k = symbol - kSymShortDistance;
            kind = kKindSpecial;
            value = ShortDistanceBase[k] + 1u;
            extra = ShortDistanceBits[k];
        } else {
            kind = kKindSpecial;
        }
        break;
    case CodeRole::Distance:
        value = DistanceBase[symbol] + 1;
        extra = DistanceBits[symbol];
        break;
    case CodeRole::RepeatLength:
        value = LengthBase[symbol] + 2u;
        extra = LengthBits[symbol];
        break;
    case CodeRole::Audio:
        kind = symbol == static_cast<std::uint32_t>(kSymAudioNewTables) ? std::uint32_t{kKindSpecial} : 0u;
        break;
    }
    return (value << 12) | (kind << 10) | (extra << 5) | (codeLength + extra);
}

}  // namespace

void BuildDecodeTable(const std::uint8_t *lengths, std::uint32_t count, const DecodeTableParts &table,
                      CodeRole role)
{
    if (count > table.symbols)
        count = table.symbols;

    std::uint32_t lengthCount[16] = {};
    for (std::uint32_t i = 0; i < count; ++i)
        ++lengthCount[lengths[i] & 15];
    lengthCount[0] = 0;

    std::uint32_t nextSlot[16];
    std::uint32_t n = 0;
    table.codeLimits[0] = 0;
    table.codePositions[0] = 0;
    nextSlot[0] = 0;
    for (std::uint32_t len = 1; len <= kMaxCodeLength; ++len) {
        n = (n + lengthCount[len]) * 2;
        const std::uint32_t limit = n << (15 - len);
        table.codeLimits[len] = limit < 65535 ? limit : 65535;
        table.codePositions[len] = table.codePositions[len - 1] + lengthCount[len - 1];
        nextSlot[len] = table.codePositions[len];
    }

    std::uint32_t filled = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t len = lengths[i] & 15;
        if (len != 0) {
            table.codeSymbols[nextSlot[len]++] = static_cast<std::uint16_t>(i);
            ++filled;
        }
    }
    // Slots no code fills: an incomplete code's missing patterns land here.
    const std::uint16_t fallback = filled ? table.codeSymbols[0] : 0;
    for (std::uint32_t i = filled; i < count; ++i)
        table.codeSymbols[i] = fallback;

    // Each symbol's entry without its code length, which a code adds to the
    // bits to consume.
    std::uint32_t symbolEntry[kMainSymbols];
    for (std::uint32_t i = 0; i < count; ++i)
        symbolEntry[i] = MakeEntry(i, 0, role);
    auto entryAt = [&](std::uint32_t index, std::uint32_t len) -> std::uint32_t {
        return symbolEntry[index < count ? table.codeSymbols[index] : table.codeSymbols[0]] + len;
    };

    // Root slots of the lengths up to kRootBits: the prefixes in
    // [limit(L-1), limit(L)) of each length L, a code of L bits filling
    // 2^(kRootBits - L) slots in a row (the band's bounds are multiples of
    // that).
    std::uint32_t prefix = 0;
    for (std::uint32_t len = 1; len <= kRootBits; ++len) {
        const std::uint32_t limit = table.codeLimits[len];
        const std::uint32_t end = limit >= 65535 ? kRootEntries : limit >> kPrefixShift;
        const std::uint32_t run = 1u << (kRootBits - len);
        for (std::uint32_t index = table.codePositions[len]; prefix < end; ++index) {
            const std::uint32_t entry = entryAt(index, len);
            for (std::uint32_t k = 0; k < run; ++k)
                table.entries[prefix + k] = entry;
            prefix += run;
        }
    }

    // The rest hold longer codes.  A slot whose first and last patterns give
    // the same length and the same index (or indices past the filled codes,
    // which all mean CodeSymbols[0]) decodes alike throughout, the index
    // rising with v inside one length; it keeps that result.  Any other slot
    // holds a real code longer than kRootBits, or a bound between two
    // lengths above kRootBits; each real code lies in one slot, and there are
    // three such bounds, so the subtables never outnumber count + 3.  The
    // lengths of a slot's first and last patterns only rise from slot to
    // slot, so they are found by walking the limits along.
    auto indexOf = [&](std::uint32_t v, std::uint32_t len) {
        return table.codePositions[len] + ((v - table.codeLimits[len - 1]) >> (16 - len));
    };
    std::uint32_t firstLength = kRootBits + 1;
    std::uint32_t lastLength = kRootBits + 1;
    std::uint32_t subtables = 0;
    for (; prefix < kRootEntries; ++prefix) {
        const std::uint32_t lo = prefix << kPrefixShift;
        const std::uint32_t hi = lo + (1u << kPrefixShift) - 2;
        while (firstLength < kMaxCodeLength && lo >= table.codeLimits[firstLength])
            ++firstLength;
        while (lastLength < kMaxCodeLength && hi >= table.codeLimits[lastLength])
            ++lastLength;
        const std::uint32_t first = indexOf(lo, firstLength);
        const bool alike = firstLength == lastLength && (first == indexOf(hi, lastLength) || first >= filled);
        if (alike || subtables == table.subtables) {
            // (The second test cannot hold, by the count above; it only keeps
            // the writes inside the table whatever happens.)
            table.entries[prefix] = entryAt(first, firstLength);
            continue;
        }
        const std::uint32_t start = kRootEntries + subtables * kSubEntries;
        ++subtables;
        table.entries[prefix] = start << 12;  // 0 bits to consume: a pointer
        std::uint32_t len = firstLength;
        for (std::uint32_t s = 0; s < kSubEntries; ++s) {
            const std::uint32_t v = lo | (s << 1);
            while (len < kMaxCodeLength && v >= table.codeLimits[len])
                ++len;
            table.entries[start + s] = entryAt(indexOf(v, len), len);
        }
    }
}

}  // namespace qm
