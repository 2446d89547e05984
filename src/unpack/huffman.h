// huffman.h - canonical prefix codes: building a decoding table from code
// lengths and decoding one symbol with it.
//
// Code lengths run from 1 to 15 bits (0: the symbol has no code).  Codes are
// canonical: shorter codes come first and, within one length, codes rise with
// the symbol number.  CodeLimits[L] is the left-justified 16-bit bound of all
// codes of length L or less (clamped to 65535), so the length of the code in
// front of the cursor is the smallest L with v < CodeLimits[L], where v is
// the next 16 bits with the lowest one cleared (15 if none is below 14).
//
// For speed each table also carries a lookup on the first kFastBits bits.
// Every limit of a length up to kFastBits is a multiple of 2^(16-kFastBits)
// (or the clamp 65535), so those first bits alone decide whether the code is
// that short, and which symbol it is; the lookup holds exactly what the
// comparisons would give, including for incomplete and over-full codes.
// Longer codes fall back to the comparisons.
//
// No check is made that the lengths form a valid code.  Whatever the lengths,
// every bit pattern decodes to a symbol inside the alphabet: an index past
// the codes actually filled yields CodeSymbols[0], and the slots no code
// fills are set to CodeSymbols[0] as well.
#pragma once

#include <cstdint>

#include "unpack/bit_input.h"
#include "unpack/tables.h"

namespace qm {

constexpr std::uint32_t kMaxCodeLength = 15;
constexpr std::uint32_t kFastBits = 10;

struct DecodeTable {
    std::uint32_t SymbolCount;
    std::uint32_t CodeLimits[16];
    std::uint32_t CodePositions[16];
    std::uint16_t CodeSymbols[kMainSymbols];  // the largest alphabet
    // Symbol in bits 0-11, code length in bits 12-15; length 0 means the code
    // is longer than kFastBits.
    std::uint16_t Fast[1u << kFastBits];
};

// Rebuilds the table from count code lengths (count at most kMainSymbols).
void BuildDecodeTable(const std::uint8_t *lengths, std::uint32_t count, DecodeTable &table);

// The symbol of the code at the front of v (16 bits, lowest bit clear) and its
// length.
inline std::uint32_t LookupSymbol(const DecodeTable &table, std::uint32_t v, std::uint32_t &length)
{
    const std::uint32_t entry = table.Fast[v >> (16 - kFastBits)];
    if (entry >> 12) {
        length = entry >> 12;
        return entry & 0xFFF;
    }
    std::uint32_t len = kFastBits + 1;
    while (len < kMaxCodeLength && v >= table.CodeLimits[len])
        ++len;
    length = len;
    const std::uint32_t index =
        table.CodePositions[len] + ((v - table.CodeLimits[len - 1]) >> (16 - len));
    return index < table.SymbolCount ? table.CodeSymbols[index] : table.CodeSymbols[0];
}

// Decodes and consumes one symbol at a local cursor.
inline std::uint32_t DecodeSymbolAt(const DecodeTable &table, BitCursor &in)
{
    std::uint32_t length;
    const std::uint32_t symbol = LookupSymbol(table, in.Peek16() & 0xFFFE, length);
    in.Skip(length);
    return symbol;
}

// Decodes and consumes one symbol at InputPos / InputBitPos.
std::uint32_t DecodeSymbol(const DecodeTable &table);

}  // namespace qm
