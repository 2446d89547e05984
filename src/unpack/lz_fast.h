// lz_fast.h - the fast loop of LZ mode.
//
// The decoding loop hands LZ steps to DecodeLzFast while every step of the
// next round is sure to stay inside the input buffer's real bytes and to
// leave room in the window: no refill, flush, wrap or cut at the entry's
// size can fall inside it.  The loop then needs no test per symbol but two
// pointer compares per round, reads bits through a 64-bit buffer refilled
// by whole-word loads, and decodes a length or a distance with one table
// lookup and one shift (the entries carry base and extra bits).  It decodes
// exactly what the step-by-step loop would; the edges and table reads are
// left to that loop.
#pragma once

#include <cstdint>

#include "unpack/bit_input.h"
#include "unpack/huffman.h"
#include "unpack/match_copy.h"
#include "unpack/tables.h"

namespace qm {

struct DecodeTables;

// The most one LZ step consumes: a main code (15 bits) with its length bits
// (5), then a distance code (15) with its bits (16).
constexpr std::uint32_t kMaxStepBits = kMaxCodeLength + 5 + kMaxCodeLength + 16;
static_assert(kMaxStepBits == 51);
// The most one step writes: the longest length slot (224 + 31) + 3, and + 2
// for the distance bonuses (an old distance: base + 2 and + 3 bonuses).
constexpr std::uint32_t kMaxStepBytes =
    LengthBase[kLengthSlots - 1] + (1u << LengthBits[kLengthSlots - 1]) - 1 + 3 + 2;
static_assert(kMaxStepBytes == 260);

// The most bytes one round writes: two literals and a match (or three
// literals).
constexpr std::uint32_t kFastRoundBytes = 2 + kMaxStepBytes;
static_assert(kFastRoundBytes == 262);
// How far behind the end of the usable input a round must start: it
// consumes at most 81 bits (two literals and a match), and its word loads
// reach 28 bytes past its start, inside the padded buffer.
constexpr std::uint32_t kFastRoundBits = 2 * kMaxCodeLength + kMaxStepBits;
constexpr std::uint32_t kFastRoundInput = 16;
static_assert(kFastRoundBits == 81 && (7 + kFastRoundBits + 7) / 8 <= kFastRoundInput,
              "a round's bits, from any bit of its first byte, lie before the limit");

// The builds of the fast loop: for the target's baseline, and for x86
// processors with BMI2 (see lz_fast.cpp).  They decode alike; a decoder
// takes the fastest that runs, and tests and the differential fuzz target
// set each in turn.
enum class LzLoop { Baseline, Bmi2 };

// True when the build is in this library and the processor runs it.
bool LzLoopRuns(LzLoop loop);
LzLoop FastestLzLoop();

// Runs rounds of LZ steps from the cursor and writePos while the input
// cursor's load position is at most inLimit (an offset into the input buffer)
// and writePos at most outLimit.  Stops before a table read, leaving its
// symbol unread.  Moves the cursor, writePos and the match history on.
// The loop must be one that runs (LzLoopRuns).
void DecodeLzFast(LzLoop loop, std::uint8_t *window, BitCursor &in, std::uint32_t &writePos, MatchState &m,
                  const DecodeTables &tables, std::uint32_t inLimit, std::uint32_t outLimit);

}  // namespace qm
