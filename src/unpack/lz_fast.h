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
#include "unpack/match_copy.h"

namespace qm {

struct DecodeTables;

// The most bytes one round writes: two literals and a match of up to 260.
constexpr std::uint32_t kFastRoundBytes = 262;
// How far behind the end of the usable input a round must start: it
// consumes at most 81 bits (two literals and a match), and its word loads
// reach 28 bytes past its start, inside the padded buffer.
constexpr std::uint32_t kFastRoundInput = 16;

// Runs rounds of LZ steps from the cursor and writePos while the input
// cursor's load position is at most inLimit (an offset into the input buffer)
// and writePos at most outLimit.  Stops before a table read, leaving its
// symbol unread.  Moves the cursor, writePos and the match history on.
void DecodeLzFast(std::uint8_t *window, BitCursor &in, std::uint32_t &writePos, MatchState &m,
                  const DecodeTables &tables, std::uint32_t inLimit, std::uint32_t outLimit);

}  // namespace qm
