// audio.h - the audio mode's per-channel byte predictor.
//
// In audio mode the output is read as 1 to 4 interleaved channels of samples.
// Each byte is predicted from its channel's latest byte and recent
// byte-to-byte deltas with five adaptive weights; the stream codes only
// symbol = (prediction - byte) mod 256, with one prefix code per channel.
//
//   P    = (8 * LastByte + W1 * D1 + W2 * D2 + W3 * D3 + W4 * D4
//           + W5 * ChannelDelta) >> 3 (arithmetic), mod 256
//   byte = (P - symbol) mod 256
//
// D1 is the channel's previous delta, D2 the change between its two latest
// deltas, D3 and D4 that change one and two bytes earlier; ChannelDelta is
// the delta of the latest audio byte of any channel.  Each channel sums, for
// eleven candidate weight changes (none, or one weight one step down or up),
// how far off the prediction would have been; after every 32nd byte of the
// channel the best candidate (lowest sum, ties to the lowest index) is
// applied and the sums restart.  Weights stay within -17 and 16.
//
// The states start at zero with every stream and carry over table reads and
// mode switches.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "unpack/tables.h"

namespace qm {

struct AudioChannelState {
    std::int32_t Weight1, Weight2, Weight3, Weight4, Weight5;
    std::int32_t Delta1;     // the previous byte-to-byte delta
    std::int32_t Delta2;     // difference of the two latest deltas
    std::int32_t Delta3, Delta4;  // Delta2 one and two bytes earlier
    std::int32_t LastDelta;  // the latest delta, -128 to 127
    std::uint32_t ErrorSum[11];
    std::uint32_t SampleCount;  // bytes of this channel since the reset
    std::uint32_t LastByte;
};

// The predictors of all channels and the delta they share.
struct AudioState {
    AudioChannelState channels[kMaxChannels];
    // The delta of the latest audio byte, whichever channel produced it.
    std::int32_t channelDelta;
};

// The predictors as the decoding loop keeps them, in a local object.  The
// error sums are needed only by the weight search every 32 bytes, so instead
// of eleven sums updated per byte, each byte records its inputs (D, the four
// deltas, the shared delta) and the search adds up the 32 records at once;
// the sums come out the same.  Load() and Store() move the states from and
// to a decoder's AudioState (Store() folding the records since the latest search into
// ErrorSum).
class AudioRun {
public:
    void Load(const AudioState &state);
    void Store(AudioState &state);

    // Turns count symbols (none of them 256) into bytes at out, the first
    // for channel, rotating over channelCount channels; channel moves on.
    void DecodeRun(const std::uint8_t *symbols, std::uint32_t count, std::int32_t &channel,
                   std::int32_t channelCount, std::uint8_t *out);

    std::uint8_t Decode(std::int32_t channel, std::uint32_t symbol)
    {
        return Decode(channel, symbol, channelDelta_);
    }

    // Whole frames of C channels from channel 0, each symbol taken from
    // next(k) for channel k as it is needed, so that decoding the next
    // symbol overlaps the predictor's work.  Stops early at symbol 256 (and
    // sets newTables).  Returns the bytes made at out.
    template <int C, typename NextSymbol>
    std::uint32_t DecodeFrames(NextSymbol &&next, std::uint32_t frames, std::uint8_t *out, bool &newTables)
    {
        return DecodeFramesOf(next, frames, out, newTables, std::make_integer_sequence<int, C>{});
    }

private:
    // One byte; the shared delta comes in a reference so that a caller's
    // loop can keep it in a register.
    std::uint8_t Decode(std::int32_t channel, std::uint32_t symbol, std::int32_t &channelDelta)
    {
        AudioChannelState &s = states_[channel];
        Records &r = records_[channel];
        const std::uint32_t slot = s.SampleCount & 31;
        ++s.SampleCount;
        s.Delta4 = s.Delta3;
        s.Delta3 = s.Delta2;
        s.Delta2 = s.LastDelta - s.Delta1;
        s.Delta1 = s.LastDelta;
        const std::int32_t cd = channelDelta;
        const std::int32_t sum = 8 * static_cast<std::int32_t>(s.LastByte) + s.Weight1 * s.Delta1 +
                                 s.Weight2 * s.Delta2 + s.Weight3 * s.Delta3 + s.Weight4 * s.Delta4 +
                                 s.Weight5 * cd;
        const std::uint32_t byte = (static_cast<std::uint32_t>(sum >> 3) - symbol) & 0xFF;
        r.d[slot] = static_cast<std::int16_t>(static_cast<std::int8_t>(symbol) * 8);
        r.x[0][slot] = static_cast<std::int16_t>(s.Delta1);
        r.x[1][slot] = static_cast<std::int16_t>(s.Delta2);
        r.x[2][slot] = static_cast<std::int16_t>(s.Delta3);
        r.x[3][slot] = static_cast<std::int16_t>(s.Delta4);
        r.x[4][slot] = static_cast<std::int16_t>(cd);
        channelDelta = s.LastDelta = static_cast<std::int8_t>(byte - s.LastByte);
        s.LastByte = byte;
        if (slot == 31)
            Search(s, r);
        return static_cast<std::uint8_t>(byte);
    }

    // The channels of a frame written out one by one (K = 0 to C - 1), each
    // with its channel number a constant: its state then sits at fixed
    // offsets and next(k)'s refill test folds away.  A loop over the channels
    // would index the states and test k on every byte (16 % slower with 4
    // channels).
    template <typename NextSymbol, int... K>
    std::uint32_t DecodeFramesOf(NextSymbol &next, std::uint32_t frames, std::uint8_t *out, bool &newTables,
                                 std::integer_sequence<int, K...>)
    {
        std::int32_t cd = channelDelta_;
        std::uint32_t made = 0;
        // One channel's symbol and byte; false at symbol 256.
        auto channel = [&](auto k) {
            const std::uint32_t symbol = next(k());
            if (symbol == kSymAudioNewTables)
                return false;
            out[made++] = Decode(k(), symbol, cd);
            return true;
        };
        for (std::uint32_t f = 0; f < frames; ++f) {
            if (!(channel(std::integral_constant<int, K>{}) && ...)) {
                newTables = true;
                break;
            }
        }
        channelDelta_ = cd;
        return made;
    }

    // The inputs of the bytes since the latest search, by SampleCount mod 32.
    // Slots not written since Load() are zero and add nothing.
    struct Records {
        std::int16_t d[32];
        std::int16_t x[5][32];
    };

    // Adds the records of slots 0 to count - 1 to s.ErrorSum.
    static void AddRecords(AudioChannelState &s, const Records &r, std::uint32_t count);
    static void Search(AudioChannelState &s, const Records &r);

    AudioChannelState states_[kMaxChannels];
    Records records_[kMaxChannels];
    std::int32_t channelDelta_;
};

}  // namespace qm
