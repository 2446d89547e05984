// block_writer.h - the encoder's blocks: a table read and the symbols it
// codes, in LZ mode or in audio mode.
//
// Tables.  Each block's code lengths (main 298, distance 48, repeat length
// 28) are coded with the 19-symbol bit-length code: 0-15 the length minus the
// previous one mod 16, 16 a repeat of the length just coded, 17/18 runs of
// zeros.  The writer mirrors the decoder's previous lengths.
//
// Audio blocks.  The bytes of a block become predictor symbols, one table of
// 257 per channel (256 ends the block).  The channel rotation and the
// predictors run on across blocks as in the decoder; a table read with fewer
// channels than the current one restarts at channel 0.  The channel count of
// a block (1, 2 or 4 byte lanes: 8- or 16-bit PCM, mono or stereo) and, in
// the automatic choice, audio against LZ, are decided by coding the block
// each way into a bit counter and keeping the smallest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "packer/audio_predictor.h"
#include "packer/encoder.h"
#include "packer/match_finder.h"
#include "packer/prefix_code.h"

namespace qmpack {

inline constexpr int kMainSymbols = 298;
inline constexpr int kDistanceSymbols = 48;
inline constexpr int kLengthSymbols = 28;
inline constexpr int kLzLengths = kMainSymbols + kDistanceSymbols + kLengthSymbols;
inline constexpr int kAudioSymbols = 257;  // per channel: 0-255 deltas, 256 new tables
inline constexpr int kMaxLengths = 4 * kAudioSymbols;
static_assert(kLzLengths <= kMaxLengths);

// What the decoder carries from one block to the next, mirrored.
struct StreamState {
    std::uint8_t previous[kMaxLengths] = {};
    // Lengths the latest table read set; the reset gives every one a value.
    std::size_t previousCount = kMaxLengths;
    std::size_t tableReads = 0;
    bool audio = false;  // mode of the latest table read
    int channel = 0;     // audio channel of the next byte
    AudioPredictor predictor;
};

// The symbols of one block of bytes in audio mode with a given channel count.
struct AudioPlan {
    int channels = 1;
    int first = 0;  // channel of the first byte
    std::vector<std::uint8_t> symbols;
    AudioPredictor after;  // the predictors after the block

    int ChannelAfter() const
    {
        return static_cast<int>((static_cast<std::size_t>(first) + symbols.size()) % channels);
    }
};

// One LZ block: its tables, its tokens and, when more follows, symbol 269.
void PutLzBlock(BitWriter &w, const std::vector<Token> &block, bool more,
                const EncoderOptions &options, StreamState &st, EncoderStats *stats);

// The symbols of n bytes in audio mode with the given channel count.
AudioPlan PlanAudio(const std::uint8_t *data, std::size_t n, int channels, const StreamState &st);

// One audio block: its tables, its symbols and, when more follows, symbol 256
// of the channel that would take the next byte.
void PutAudioBlock(BitWriter &w, const AudioPlan &plan, bool more, const EncoderOptions &options,
                   StreamState &st, EncoderStats *stats);

// The bits that `put` writes.
std::uint64_t CountBits(const std::function<void(BitWriter &)> &put);

// The channel count that codes n bytes smallest in audio mode, and its bits.
AudioPlan BestAudioPlan(const std::uint8_t *data, std::size_t n, bool more,
                        const EncoderOptions &options, const StreamState &st, std::uint64_t &bits);

}  // namespace qmpack
