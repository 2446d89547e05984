// match_copy.h - the match history and the copies of matches in the window.
//
// A match copies `length` bytes from `distance` back, byte by byte forward in
// effect: a distance below the length repeats the last `distance` bytes.
// The window is circular (1 MiB), so a source may lie behind the write
// position or, across the wrap, ahead of it.  No copy writes past its
// length: the bytes ahead of the write position are the oldest of the
// window, still the source of matches up to 1 MiB back.
#pragma once

#include <cstdint>
#include <cstring>

#include "unpack/tables.h"

namespace qm {

// The match history: the ring of the last four distances (the next goes to
// oldDistances[matchCount % 4]) and the last match.
struct MatchState {
    std::uint32_t oldDistances[4];
    std::uint32_t matchCount;
    std::uint32_t lastDistance;
    std::uint32_t lastLength;

    // Every match records its distance and length.
    void Record(std::uint32_t distance, std::uint32_t length)
    {
        lastDistance = distance;
        oldDistances[matchCount & 3] = distance;
        ++matchCount;
        lastLength = length;
    }
};

// Copies count bytes from distance back at writePos, wherever the source and
// the destination lie in the window.  Returns the new write position, which
// may equal the window size; the loop masks it.
inline std::uint32_t CopyBytes(std::uint8_t *window, std::uint32_t writePos, std::uint32_t distance,
                               std::uint32_t count)
{
    const std::uint32_t src = (writePos - distance) & kWindowMask;
    if (writePos + count <= kWindowSize && src + count <= kWindowSize) {
        std::uint8_t *d = window + writePos;
        const std::uint8_t *s = window + src;
        if (src < writePos && writePos - src < 8) {
            // Overlapping close behind: a short repeating pattern.
            if (writePos - src == 1) {
                std::memset(d, *s, count);
            } else {
                for (std::uint32_t i = 0; i < count; ++i)
                    d[i] = s[i];
            }
        } else {
            // Each 8-byte chunk is loaded whole before it is stored: correct
            // for sources at least 8 bytes behind, and for sources ahead of
            // the destination (distances near the window size), whose bytes
            // are all still unwritten.
            std::uint32_t i = 0;
            for (; i + 8 <= count; i += 8) {
                std::uint64_t chunk;
                std::memcpy(&chunk, s + i, 8);
                std::memcpy(d + i, &chunk, 8);
            }
            for (; i < count; ++i)
                d[i] = s[i];
        }
        return writePos + count;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        window[writePos] = window[(writePos - distance) & kWindowMask];
        writePos = (writePos + 1) & kWindowMask;
    }
    return writePos;
}

template <std::size_t N>
inline void CopyWord(std::uint8_t *d, const std::uint8_t *s)
{
    unsigned char word[N];
    std::memcpy(word, s, N);
    std::memcpy(d, word, N);
}

// Copies length bytes (at least N) from src, at least N bytes behind, by
// N-byte words: each word's bytes were all written before it is loaded, and
// the last word ends exactly at the length, rewriting a few bytes with the
// values they already hold.
template <std::size_t N>
inline void CopyWords(std::uint8_t *out, const std::uint8_t *src, std::uint32_t length)
{
    std::uint32_t i = 0;
    do {
        CopyWord<N>(out + i, src + i);
        i += N;
    } while (i + N < length);
    CopyWord<N>(out + length - N, src + length - N);
}

// Copies length bytes (N to 2N) from a source at least 2N bytes behind as
// two words, the first and the last, overlapping in the middle.
template <std::size_t N>
inline void CopyEnds(std::uint8_t *out, const std::uint8_t *src, std::uint32_t length)
{
    CopyWord<N>(out, src);
    CopyWord<N>(out + length - N, src + length - N);
}

// The copy of the fast loop, where the destination does not wrap.  It
// writes exactly `length` bytes: the bytes past the match's end are the
// oldest of the window, still the source of matches up to 1 MiB back.
//
// A source at least 16 bytes behind goes by 16-byte words, shorter matches
// by two overlapping words of 8, 4 or 2 bytes; 8 to 15 bytes behind by
// 8-byte words; closer by bytes (distance 1: a fill).  The result is that of
// a byte-by-byte copy.  A source across the wrap goes through CopyBytes.
// Inlined by force: at -O2 the compiler would call it, on every match.
inline __attribute__((always_inline)) std::uint8_t *CopyMatchFast(std::uint8_t *window, std::uint8_t *out,
                                                                  std::uint32_t distance, std::uint32_t length)
{
    if (distance > static_cast<std::uint32_t>(out - window))
        return window + CopyBytes(window, static_cast<std::uint32_t>(out - window), distance, length);
    const std::uint8_t *src = out - distance;
    if (distance >= 16 && length >= 2) {
        if (length > 16) {
            CopyWords<16>(out, src, length);
        } else if (length >= 8) {
            CopyEnds<8>(out, src, length);
        } else if (length >= 4) {
            CopyEnds<4>(out, src, length);
        } else {
            CopyEnds<2>(out, src, length);
        }
    } else if (distance >= 8 && length >= 8) {
        CopyWords<8>(out, src, length);
    } else if (distance == 1) {
        std::memset(out, *src, length);
    } else {
        for (std::uint32_t i = 0; i < length; ++i)
            out[i] = src[i];
    }
    return out + length;
}

}  // namespace qm
