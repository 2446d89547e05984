// lz_fast.cpp - the fast loop of LZ mode (see lz_fast.h).
//
// A round starts with its main entry looked up and up to three literals
// are stored; a third literal ends the round, anything else is a step: a
// match (a length code with its bits, then a distance code with its bits),
// an old distance with its repeat length, a short distance or the last
// match again.  The decoding is a chain of lookups, each waiting on the
// shift that consumed the code before it, so the loop keeps that chain
// short: every lookup is made on bits already counted (its refill follows
// it, beside it rather than in front), a code without extra bits is
// consumed by a shift with no mask, the commonest old-distance matches
// come whole out of one entry (code_tables.cpp), and the next main lookup
// is made before the match's copy so that the two overlap.
//
// The loop is built twice: for the target's baseline and, on x86 with GCC or
// Clang, for processors with BMI2, whose shifts by a register count take one
// instruction (the loop's chain from one code to the next is two such
// shifts).  The decoder takes the second build when the processor reports
// BMI2 (see LzLoop); it decodes the same, 2-5 % faster on the benchmark's
// mixed data.
#include "unpack/lz_fast.h"

#include "unpack/huffman.h"
#include "unpack/stream_decoder.h"
#include "unpack/wide_bits.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#include "crypto/cpu_features.h"
#define QM_LZ_FAST_BMI2 1
#endif

namespace qm {

namespace {

// Looks up the main entry at the top of the bit buffer, then refills it.
// A refill only adds bits below the counted ones, so a lookup made with a
// whole code (15 bits) counted needs no refill first; the refill's load and
// the arithmetic that places its word then run beside the lookup instead of
// in front of it.  Every lookup of the loop is made so (see the budget at
// the top of DecodeLzRounds).
inline __attribute__((always_inline)) std::uint32_t LookupThenRefill(WideBits &bits, const MainTable &table)
{
    const std::uint32_t e = LookupEntry64(table, bits.buf);
    bits.Refill();
    return e;
}

// Consumes the code of an entry without extra bits (a literal, an old
// distance with its length).  Its bits 5-9 are then zero and its low six
// bits the count, and a 64-bit shift by the whole entry takes just those:
// the mask of EntryBits would cost the chain from one code to the next a
// cycle.
inline __attribute__((always_inline)) void SkipWithoutExtra(WideBits &bits, std::uint32_t e)
{
    bits.buf <<= (e & 63);
    bits.count -= EntryBits(e);
}

inline __attribute__((always_inline)) void DecodeLzRounds(std::uint8_t *window, BitCursor &in,
                                                          std::uint32_t &writePos, MatchState &m,
                                                          const DecodeTables &tables, std::uint32_t inLimit,
                                                          std::uint32_t outLimit)
{
    WideBits bits;
    bits.Start(in);
    const std::uint8_t *const inEnd = in.bytes + inLimit;
    std::uint8_t *out = window + writePos;
    std::uint8_t *const outEnd = window + outLimit;
    const MainTable &mainTable = tables.main;
    const DistanceTable &distanceTable = tables.distance;
    const RepeatLengthTable &repeatTable = tables.repeatLength;

    // The history in locals: the window stores could alias it otherwise.
    MatchState history = m;
    std::uint32_t e;
    bits.Refill();

    // The budget: each round starts with its main entry looked up and the
    // buffer refilled behind the lookup (56 bits or more counted).  A
    // literal takes at most 15 of them, so the next lookup still finds a
    // whole code counted, and is followed by a refill again.  A match takes
    // at most 20 (code and length bits) before its distance lookup, with 36
    // left; the refill behind that lookup leaves 56 for the distance's 31
    // and the next main lookup finds 25.  An old distance takes 15 + 20 (11
    // with its length in one entry), a short one 22: 21 or more are left for
    // the lookup that follows.
    constexpr std::uint32_t kFull = WideBits::kRefilledBits;
    constexpr std::uint32_t kMaxLengthBits = LengthBits[kLengthSlots - 1];  // the slots' bits only rise
    constexpr std::uint32_t kMaxDistanceBits = DistanceBits[kDistanceSlots - 1];
    constexpr std::uint32_t kMaxShortBits = ShortDistanceBits[kShortDistanceSlots - 1];
    static_assert(kFull - kMaxCodeLength >= kMaxCodeLength, "a lookup after a literal");
    static_assert(kFull - (kMaxCodeLength + kMaxLengthBits) >= kMaxCodeLength, "the distance lookup");
    static_assert(kFull - (kMaxCodeLength + kMaxDistanceBits) >= kMaxCodeLength, "a lookup after a distance");
    static_assert(kFull - kMaxCodeLength - (kMaxCodeLength + kMaxLengthBits) >= kMaxCodeLength,
                  "the repeat length's lookup and the one after an old distance");
    static_assert(kFull - (kMaxCodeLength + kMaxShortBits) >= kMaxCodeLength, "a lookup after a short distance");
    e = LookupThenRefill(bits, mainTable);
    while (bits.next <= inEnd && out <= outEnd) {
        if (EntryKind(e) == kKindLiteral) {
            SkipWithoutExtra(bits, e);
            *out++ = static_cast<std::uint8_t>(EntryValue(e));
            e = LookupThenRefill(bits, mainTable);
            if (EntryKind(e) == kKindLiteral) {
                SkipWithoutExtra(bits, e);
                *out++ = static_cast<std::uint8_t>(EntryValue(e));
                e = LookupThenRefill(bits, mainTable);
                if (EntryKind(e) == kKindLiteral) {
                    SkipWithoutExtra(bits, e);
                    *out++ = static_cast<std::uint8_t>(EntryValue(e));
                    e = LookupThenRefill(bits, mainTable);
                    continue;
                }
            }
        }

        std::uint32_t distance;
        std::uint32_t length;
        const std::uint32_t total = EntryBits(e);
        const std::uint32_t value = EntryValue(e);
        if (EntryKind(e) == kKindLength) {
            length = value + bits.Field(total, EntryExtra(e));
            bits.Skip(total);
            const std::uint32_t d = LookupEntry64(distanceTable, bits.buf);
            bits.Refill();
            distance = EntryValue(d) + bits.Field(EntryBits(d), EntryExtra(d));
            bits.Skip(EntryBits(d));
            length += (distance >= kBonusDistance2 ? 1u : 0u) + (distance >= kBonusDistance3 ? 1u : 0u);
        } else if (EntryKind(e) == kKindOldWithLength) {
            SkipWithoutExtra(bits, e);
            distance = history.oldDistances[(history.matchCount - OldEntryBack(value)) & 3];
            length = OldEntryLength(value) + (distance >= kBonusDistance1 ? 1u : 0u) +
                     (distance >= kBonusDistance2 ? 1u : 0u) + (distance >= kBonusDistance3 ? 1u : 0u);
        } else if (EntryKind(e) == kKindSpecial && value - kSymOldDistance < 4) {
            bits.Skip(total);
            distance = history.oldDistances[(history.matchCount - (value - kSymOldDistance + 1)) & 3];
            const std::uint32_t r = LookupEntry64(repeatTable, bits.buf);
            length = EntryValue(r) + bits.Field(EntryBits(r), EntryExtra(r));
            bits.Skip(EntryBits(r));
            length += (distance >= kBonusDistance1 ? 1u : 0u) + (distance >= kBonusDistance2 ? 1u : 0u) +
                      (distance >= kBonusDistance3 ? 1u : 0u);
        } else if (value < static_cast<std::uint32_t>(kSymRepeatLast)) {  // kKindSpecial: a short distance
            distance = value + bits.Field(total, EntryExtra(e));
            bits.Skip(total);
            length = 2;
        } else if (value == static_cast<std::uint32_t>(kSymRepeatLast)) {
            bits.Skip(total);
            distance = history.lastDistance;
            length = history.lastLength;
        } else {
            break;  // a table read: left to the step-by-step loop
        }
        history.Record(distance, length);
        e = LookupThenRefill(bits, mainTable);
        out = CopyMatchFast(window, out, distance, length);
    }

    m = history;
    bits.End(in);
    writePos = static_cast<std::uint32_t>(out - window);
}

void DecodeLzFastBaseline(std::uint8_t *window, BitCursor &in, std::uint32_t &writePos, MatchState &m,
                          const DecodeTables &tables, std::uint32_t inLimit, std::uint32_t outLimit)
{
    DecodeLzRounds(window, in, writePos, m, tables, inLimit, outLimit);
}

#ifdef QM_LZ_FAST_BMI2
[[gnu::target("bmi2")]] void DecodeLzFastBmi2(std::uint8_t *window, BitCursor &in, std::uint32_t &writePos,
                                              MatchState &m, const DecodeTables &tables, std::uint32_t inLimit,
                                              std::uint32_t outLimit)
{
    DecodeLzRounds(window, in, writePos, m, tables, inLimit, outLimit);
}
#endif

}  // namespace

bool LzLoopRuns(LzLoop loop)
{
#ifdef QM_LZ_FAST_BMI2
    if (loop == LzLoop::Bmi2)
        return CpuHasBmi2();
#endif
    return loop == LzLoop::Baseline;
}

LzLoop FastestLzLoop() { return LzLoopRuns(LzLoop::Bmi2) ? LzLoop::Bmi2 : LzLoop::Baseline; }

void DecodeLzFast(LzLoop loop, std::uint8_t *window, BitCursor &in, std::uint32_t &writePos, MatchState &m,
                  const DecodeTables &tables, std::uint32_t inLimit, std::uint32_t outLimit)
{
#ifdef QM_LZ_FAST_BMI2
    if (loop == LzLoop::Bmi2) {
        DecodeLzFastBmi2(window, in, writePos, m, tables, inLimit, outLimit);
        return;
    }
#else
    (void)loop;
#endif
    DecodeLzFastBaseline(window, in, writePos, m, tables, inLimit, outLimit);
}

}  // namespace qm
