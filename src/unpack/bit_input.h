// bit_input.h - the decoder's input buffer and its bit cursor.
//
// Compressed data is a bit stream read most significant bit first.  It passes
// through one fixed 8192-byte buffer: Fill() loads it at the start of a
// stream; Refill() keeps its last 32 bytes, moves them to the front and loads
// 8160 new bytes behind them.  The decoder refills at fixed points (before
// each step once pos passes 8162, and so on), chosen so that the bits
// consumed until the next check never reach past the buffer's end.
//
// pos is the byte holding the next unread bit, bitPos the bits of it already
// consumed (0-7).  A peek looks at the four bytes from pos; the buffer
// carries a few zero bytes of padding behind its 8192 so a wider load stays
// inside it too.
//
// The packed bytes come from a PackedSource: the entry's data, deciphered,
// never more than the entry holds.
#pragma once

#include <cstdint>

namespace qm {

constexpr std::uint32_t kInputBufferSize = 8192;
constexpr std::uint32_t kInputKeep = 32;      // bytes a refill carries over
constexpr std::uint32_t kInputPadding = 8;    // zero bytes behind the buffer

// Where a decoder's packed bytes come from.
class PackedSource {
public:
    // Reads up to count bytes (a multiple of 8) of the entry's packed data
    // into buffer, which has room for count rounded up to 8.  0 when the data
    // is used up (or cannot be read).
    virtual std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) = 0;

protected:
    ~PackedSource() = default;
};

struct PackedInput {
    std::uint8_t bytes[kInputBufferSize + kInputPadding];
    std::uint32_t pos;
    std::uint32_t bitPos;
    std::uint32_t available;
    // One past the last byte of real packed data in bytes: 8192 while the
    // data goes on, less once a read came back short (the data is used up).
    // Bytes from here on are stale: zeros, or left from earlier reads of
    // this entry (Fill() clears the buffer at the start of each stream).
    //
    // A valid stream never consumes a bit at or beyond end: its encoder
    // writes every bit of its last symbol and pads only the final byte, so
    // the cursor stops at most on end, bit 0.  What a valid stream does need
    // past its data is look-ahead, not input: a peek loads the four bytes
    // from pos, so the last symbols of a stream peek up to 3 bytes past end, and the decoded length depends only on the
    // bits of the code actually read.  (The 64-bit buffers of the fast paths
    // load whole words further ahead, inside the padded buffer, but they run
    // only while every bit they consume lies before end.)  Those bytes are
    // never consumed, so the bound on the cursor is exact: a step that starts
    // at or past end has no real bit left, and a stream that gets there is
    // damaged or truncated.  The decoding loop ends it there instead of
    // running on over stale bytes to the declared size (which may be 2 GiB);
    // the data CRC then rejects the entry.  The one step that begins on a
    // real bit and runs into stale ones has already written its bytes (at
    // most one match).
    std::uint32_t end;
    PackedSource *source;

    // Starts a stream: reads up to 8192 bytes at offset 0.
    void Fill();
    // Continues a stream; called when pos lies between 8163 and 8191.
    void Refill();

    // True when the cursor has no real bit left: the stream can go no further.
    bool Spent() const { return pos >= end; }
};

// The bit reader of table reads and of the loop's single steps: a copy of the
// input's cursor in local variables (the window stores of the loop would
// otherwise force the input's fields to be reloaded).  Load() and Store()
// move it to and from the input around a refill.  The loop's fast runs read
// through a 64-bit buffer instead (wide_bits.h).
struct BitCursor {
    std::uint32_t pos;
    std::uint32_t bit;
    const std::uint8_t *bytes = nullptr;

    void Load(const PackedInput &in)
    {
        pos = in.pos;
        bit = in.bitPos;
        bytes = in.bytes;
    }
    void Store(PackedInput &in) const
    {
        in.pos = pos;
        in.bitPos = bit;
    }

    std::uint32_t Peek16() const
    {
        const std::uint8_t *p = bytes + pos;
        const std::uint32_t v = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                (std::uint32_t{p[2]} << 8) | p[3];
        return ((v << bit) >> 16) & 0xFFFF;
    }
    void Skip(std::uint32_t n)
    {
        const std::uint32_t bits = bit + n;
        pos += bits >> 3;
        bit = bits & 7;
    }
    std::uint32_t Bits(std::uint32_t n)
    {
        if (n == 0)
            return 0;
        const std::uint32_t v = Peek16() >> (16 - n);
        Skip(n);
        return v;
    }
};

}  // namespace qm
