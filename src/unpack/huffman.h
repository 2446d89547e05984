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
// No check is made that the lengths form a valid code.  Whatever the lengths,
// every bit pattern decodes to a symbol inside the alphabet: an index past
// the codes actually filled yields CodeSymbols[0], and the slots no code
// fills are set to CodeSymbols[0] as well.
//
// Decoding does not run those comparisons: the table is a two-level lookup
// that holds exactly what they give, for incomplete and over-full codes too.
// The root is indexed by the first kRootBits bits.  Every limit of a length
// up to kRootBits is a multiple of 2^(16 - kRootBits) (or the clamp 65535),
// so those bits alone decide a code that short.  A root slot whose patterns
// all decode alike (one symbol, one length: the usual case past the last
// code of an incomplete code) holds that result even when the length is
// longer.  The other root slots point to a subtable of 16 entries indexed by
// the next 4 bits (bits 11-14; bit 15 never counts).  Only a slot holding a
// real code longer than kRootBits, or a bound between two such lengths, needs
// one, so a table has at most alphabet + 4 subtables.
//
// An entry is 32 bits:
//   bits  0-4   bits to consume: the code's length plus its extra bits
//   bits  5-9   extra bits: a field read right behind the code, added to the
//               value (length and distance slots)
//   bits 10-11  kind, which depends on the table (see CodeRole)
//   bits 12-31  value
// A subtable pointer has 0 bits to consume and the subtable's first entry as
// its value.  Folding the extra bits into the entry lets the decoding loop
// read a length or a distance with one lookup and one shift.
#pragma once

#include <cstdint>

#include "unpack/bit_input.h"
#include "unpack/tables.h"

namespace qm {

constexpr std::uint32_t kMaxCodeLength = 15;
constexpr std::uint32_t kRootBits = 11;
constexpr std::uint32_t kRootEntries = 1u << kRootBits;
constexpr std::uint32_t kSubBits = kMaxCodeLength - kRootBits;  // 4
constexpr std::uint32_t kSubEntries = 1u << kSubBits;

// What the entries of a table carry.
enum class CodeRole {
    Symbols,       // kind 0, value = symbol (the bit-length code)
    Main,          // literals, matches, the special symbols (see MainKind)
    Distance,      // value = distance base + 1, extra = its bits
    RepeatLength,  // value = length base + 2, extra = its bits
    Audio,         // kind 0 and value = byte symbol; kind 3 for symbol 256
};

// Kinds of the main table's entries.
enum MainKind : std::uint32_t {
    kKindLiteral = 0,      // value = the byte
    kKindLength = 1,       // symbols 270-297: value = length base + 3
    kKindOldWithLength = 2,  // an old distance and its repeat length in one
                             // entry (see CombineOldDistanceLengths)
    kKindSpecial = 3,      // symbols 256-260 and 269: value = the symbol;
                           // symbols 261-268: value = short distance base + 1
                           // (below 256, so told apart by the value)
};

// A kKindOldWithLength entry's value: which old distance (1 the latest to 4)
// above the repeat length, without its distance bonuses.
constexpr std::uint32_t kOldLengthBits = 9;
constexpr std::uint32_t OldEntryBack(std::uint32_t value) { return value >> kOldLengthBits; }
constexpr std::uint32_t OldEntryLength(std::uint32_t value) { return value & ((1u << kOldLengthBits) - 1); }

inline std::uint32_t EntryBits(std::uint32_t e) { return e & 31; }
inline std::uint32_t EntryExtra(std::uint32_t e) { return (e >> 5) & 31; }
inline std::uint32_t EntryCodeLength(std::uint32_t e) { return EntryBits(e) - EntryExtra(e); }
inline std::uint32_t EntryKind(std::uint32_t e) { return (e >> 10) & 3; }
inline std::uint32_t EntryValue(std::uint32_t e) { return e >> 12; }

// A table for an alphabet of Symbols symbols: the root and room for the
// Symbols + 4 subtables such a code can need, and no more.
template <std::uint32_t Symbols>
struct DecodeTableOf {
    static constexpr std::uint32_t kSymbols = Symbols;
    static constexpr std::uint32_t kSubtables = Symbols + 4;
    std::uint32_t CodeLimits[16];
    std::uint32_t CodePositions[16];
    std::uint16_t CodeSymbols[Symbols];
    std::uint32_t Entries[kRootEntries + kSubtables * kSubEntries];
};

// The largest: the main alphabet.
using DecodeTable = DecodeTableOf<kMainSymbols>;

// Where BuildDecodeTable writes: the parts of one table and their sizes.
struct DecodeTableParts {
    std::uint32_t *codeLimits;
    std::uint32_t *codePositions;
    std::uint16_t *codeSymbols;
    std::uint32_t symbols;
    std::uint32_t *entries;
    std::uint32_t subtables;
};

void BuildDecodeTable(const std::uint8_t *lengths, std::uint32_t count, const DecodeTableParts &table,
                      CodeRole role);

// Rebuilds the table from count code lengths (count at most the table's
// alphabet; more are not read).
template <std::uint32_t Symbols>
void BuildDecodeTable(const std::uint8_t *lengths, std::uint32_t count, DecodeTableOf<Symbols> &table,
                      CodeRole role = CodeRole::Symbols)
{
    BuildDecodeTable(lengths, count < Symbols ? count : Symbols,
                     DecodeTableParts{table.CodeLimits, table.CodePositions, table.CodeSymbols, Symbols,
                                      table.Entries, DecodeTableOf<Symbols>::kSubtables},
                     role);
}

// The entry of the code at the front of v (16 bits, lowest bit clear).
template <typename Table>
inline std::uint32_t LookupEntry(const Table &table, std::uint32_t v)
{
    const std::uint32_t entry = table.Entries[v >> (16 - kRootBits)];
    if (EntryBits(entry) != 0)
        return entry;
    return table.Entries[EntryValue(entry) + ((v >> 1) & (kSubEntries - 1))];
}

// The entry of the code at the top of a 64-bit bit buffer.
template <typename Table>
inline std::uint32_t LookupEntry64(const Table &table, std::uint64_t buf)
{
    const std::uint32_t entry = table.Entries[buf >> (64 - kRootBits)];
    if (EntryBits(entry) != 0)
        return entry;
    return table.Entries[EntryValue(entry) + ((buf >> (64 - kMaxCodeLength)) & (kSubEntries - 1))];
}

// The value of the code at the front of v and its code length (without the
// extra bits).  For a table of CodeRole::Symbols the value is the symbol.
template <typename Table>
inline std::uint32_t LookupSymbol(const Table &table, std::uint32_t v, std::uint32_t &length)
{
    const std::uint32_t entry = LookupEntry(table, v);
    length = EntryCodeLength(entry);
    return EntryValue(entry);
}

// Decodes one code at a local cursor and consumes the code, not its extra
// bits; returns the entry.
template <typename Table>
inline std::uint32_t DecodeEntryAt(const Table &table, BitCursor &in)
{
    const std::uint32_t entry = LookupEntry(table, in.Peek16() & 0xFFFE);
    in.Skip(EntryCodeLength(entry));
    return entry;
}

}  // namespace qm
