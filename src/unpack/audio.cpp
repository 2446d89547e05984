// audio.cpp - the predictor states and the weight adaptation of audio mode
// (the per-byte step is inline in audio.h).
#include "unpack/audio.h"

#include <cstring>

#include "unpack/unpack.h"

namespace qm {

AudioChannelState AudioChannels[kMaxChannels];
std::int32_t ChannelDelta;

void ResetAudioState()
{
    std::memset(AudioChannels, 0, sizeof AudioChannels);
    ChannelDelta = 0;
}

namespace detail {

void AdaptAudioWeights(AudioChannelState &s)
{
    std::uint32_t best = 0;
    std::uint32_t smallest = s.ErrorSum[0];
    for (std::uint32_t i = 1; i < 11; ++i) {
        if (s.ErrorSum[i] < smallest) {
            smallest = s.ErrorSum[i];
            best = i;
        }
    }
    std::memset(s.ErrorSum, 0, sizeof s.ErrorSum);
    if (best == 0)
        return;
    // Sums 1-2 move Weight1 down or up, 3-4 Weight2, ... 9-10 Weight5.  A
    // weight may step down from -16 (to -17) but not up from 16.
    std::int32_t *weights[5] = {&s.Weight1, &s.Weight2, &s.Weight3, &s.Weight4, &s.Weight5};
    std::int32_t &w = *weights[(best - 1) / 2];
    if (best & 1) {
        if (w >= -16)
            --w;
    } else if (w < 16) {
        ++w;
    }
}

}  // namespace detail

std::uint8_t DecodeAudioByte(std::uint32_t symbol)
{
    return PredictAudioByte(AudioChannels[Decoder.CurrentChannel], ChannelDelta, symbol);
}

}  // namespace qm
