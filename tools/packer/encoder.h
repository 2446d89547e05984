// encoder.h - the packer's LZ encoder for the RAR 2.0 stream format.
//
// The stream is a bit stream, most significant bit first.  It opens with a
// table read (two header bits: audio mode, keep previous lengths; then the
// code lengths, themselves prefix-coded) and continues with main symbols:
// literals 0-255, 256 (repeat the last match), 257-260 (a match at one of the
// last four distances), 261-268 (length 2 at a distance up to 256), 269 (new
// tables follow) and 270-297 (a length slot, followed by a distance symbol).
// The window is 1 MiB.  The stream has no end marker: the decoder stops at
// the unpacked size, which travels in the archive's header.
//
// This encoder is greedy with an optional one-step lazy match over hash
// chains (match_finder.h); it writes new tables every blockSymbols tokens and
// builds canonical prefix codes of at most 15 bits from the symbol counts of
// each block (block_writer.h).  It reads its input in pieces and hands the
// stream on block by block, so its memory does not grow with the input:
// about 12 MiB whatever the size (20 MiB when it tries audio mode too).
//
// It can also code blocks in audio mode (a table read with bit 15 set, then
// 1-4 channels): every byte becomes the difference between it and the
// prediction of its channel (audio_predictor.h), coded with one table per
// channel; symbol 256 of the current channel's table ends the block.  Which
// blocks use it is set by EncoderOptions::audio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "packer/carrier_writer.h"

namespace qmpack {

enum class TableDelta {
    Never,      // every table read starts from zero lengths (header bit 14 clear)
    Always,     // every table read adds to the previous lengths (bit 14 set)
    Alternate,  // the first plain, then delta, plain, delta...
};

enum class AudioMode {
    Never,   // LZ blocks only
    Always,  // every block in audio mode, with the channel count (1, 2 or 4) that codes it smallest
    Auto,    // per block, audio mode with the best channel count where it is smaller than LZ
};

struct EncoderOptions {
    std::size_t blockSymbols = 0x8000;  // tokens (LZ) or bytes (audio only) between table reads
    TableDelta delta = TableDelta::Alternate;
    int maxChain = 32;                  // hash-chain candidates per position
    bool lazy = true;                   // try the next position before taking a match
    std::uint32_t maxDistance = 0x100000;
    AudioMode audio = AudioMode::Never;
    // Channel counts audio mode may use; 0 = 1, 2 and 4 (1 to 4 otherwise: only that count).
    int audioChannels = 0;
    // Lazy matching looks one position ahead only for matches shorter than this.
    int maxLazy = 64;
    // A chain search ends at a match this long (0: only at the longest a match can be).
    std::uint32_t niceLength = 0;
    // With a match this long in hand, the lazy look ahead searches a quarter
    // of the chain (0: always the whole).
    std::uint32_t goodLength = 0;
    // Bits of the hash of three bytes that heads the chains (12 to 20).
    int hashBits = 16;
    // After this many literals in a row, only every eighth position is
    // searched until a match turns up: data that does not compress goes by
    // quickly (0: every position is searched).
    std::uint32_t skipAfterLiterals = 0;
};

// Compression levels for qmpack's -1 to -9: 1 packs fastest, 9 smallest.
inline constexpr int kFastestLevel = 1;
inline constexpr int kSmallestLevel = 9;
inline constexpr int kDefaultLevel = 5;
EncoderOptions LevelOptions(int level);

// How often each kind of symbol was written (for tests that want every kind
// in real use).
struct EncoderStats {
    std::size_t literals = 0;
    std::size_t repeatLast = 0;     // 256
    std::size_t oldDistance = 0;    // 257-260
    std::size_t shortDistance = 0;  // 261-268
    std::size_t newTables = 0;      // 269
    std::size_t longMatches = 0;    // 270-297
    std::size_t plainTables = 0;    // table reads with bit 14 clear
    std::size_t deltaTables = 0;    // table reads with bit 14 set
    std::size_t distance101 = 0;    // matches at 0x101 or more (old-distance bonus)
    std::size_t distance2000 = 0;   // matches at 0x2000 or more
    std::size_t distance40000 = 0;  // matches at 0x40000 or more
    std::uint32_t longestDistance = 0;
    std::uint32_t longestLength = 0;
    std::size_t lzBlocks = 0;
    std::size_t audioBlocks = 0;
    std::size_t audioBlocksByChannels[5] = {};  // index: channel count
    std::size_t audioBytes = 0;
    std::size_t audioNewTables = 0;  // audio symbol 256
    std::size_t modeSwitches = 0;    // table reads that change between LZ and audio mode
};

// Where a streaming encoder reads: fills at most `size` bytes at `data` and
// returns how many it filled; 0 only at the end of the input.
using ByteSource = std::function<std::size_t(std::uint8_t *data, std::size_t size)>;
// Where it writes the finished bytes of the stream, a block at a time;
// returning false stops the encoder.
using ByteSink = std::function<bool(const std::uint8_t *data, std::size_t size)>;

// Encodes everything the source gives as one stream; false when the sink
// stopped it.
bool EncodeStream(const ByteSource &source, const ByteSink &sink, const EncoderOptions &options = {},
                  EncoderStats *stats = nullptr);

// Encodes size bytes as one stream, in LZ or audio mode as options.audio says.
Bytes Encode(const std::uint8_t *data, std::size_t size, const EncoderOptions &options = {},
             EncoderStats *stats = nullptr);

inline Bytes Encode(const Bytes &data, const EncoderOptions &options = {},
                    EncoderStats *stats = nullptr)
{
    return Encode(data.data(), data.size(), options, stats);
}

// LZ blocks only, whatever options.audio says.
Bytes EncodeLz(const std::uint8_t *data, std::size_t size, const EncoderOptions &options = {},
               EncoderStats *stats = nullptr);

inline Bytes EncodeLz(const Bytes &data, const EncoderOptions &options = {},
                      EncoderStats *stats = nullptr)
{
    return EncodeLz(data.data(), data.size(), options, stats);
}

}  // namespace qmpack
