// audio.cpp - the predictor states, the weight search of audio mode and the
// moves of the states between the globals and an AudioRun (the per-byte step
// is inline in audio.h).
#include "unpack/audio.h"

#include <cstring>

namespace qm {

namespace {

std::uint32_t Abs(std::int32_t v)
{
    return static_cast<std::uint32_t>(v < 0 ? -v : v);
}

// The candidate with the smallest error sum (ties to the lowest index) changes
// its weight; the sums restart.
void AdaptWeights(AudioChannelState &s)
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

// The sum of |a[k] - sign * b[k]| over 32 records.  Each term is at most
// 1024 + 255, so a 16-bit sum of 32 is exact; the loop runs eight lanes at a
// time.
inline std::uint16_t SumAbs(const std::int16_t *a, const std::int16_t *b, int sign)
{
    std::uint16_t sum = 0;
    for (int k = 0; k < 32; ++k) {
        const auto v = static_cast<std::int16_t>(a[k] - sign * b[k]);
        sum = static_cast<std::uint16_t>(sum + static_cast<std::uint16_t>(v < 0 ? -v : v));
    }
    return sum;
}

}  // namespace

void AudioRun::Load(const AudioState &state)
{
    std::memcpy(states_, state.channels, sizeof states_);
    std::memset(records_, 0, sizeof records_);
    channelDelta_ = state.channelDelta;
}

void AudioRun::Store(AudioState &state)
{
    for (int c = 0; c < kMaxChannels; ++c) {
        AddRecords(states_[c], records_[c], states_[c].SampleCount & 31);
        std::memset(&records_[c], 0, sizeof records_[c]);
    }
    std::memcpy(state.channels, states_, sizeof states_);
    state.channelDelta = channelDelta_;
}

void AudioRun::AddRecords(AudioChannelState &s, const Records &r, std::uint32_t count)
{
    // Plain loops over short arrays: the compiler vectorizes them.
    std::uint32_t e0 = 0;
    for (std::uint32_t k = 0; k < count; ++k)
        e0 += Abs(r.d[k]);
    s.ErrorSum[0] += e0;
    for (int j = 0; j < 5; ++j) {
        std::uint32_t below = 0, above = 0;
        for (std::uint32_t k = 0; k < count; ++k) {
            below += Abs(r.d[k] - r.x[j][k]);
            above += Abs(r.d[k] + r.x[j][k]);
        }
        s.ErrorSum[1 + 2 * j] += below;
        s.ErrorSum[2 + 2 * j] += above;
    }
}

void AudioRun::Search(AudioChannelState &s, const Records &r)
{
    static constexpr std::int16_t kZero[32] = {};
    s.ErrorSum[0] += SumAbs(r.d, kZero, 1);
    for (int j = 0; j < 5; ++j) {
        s.ErrorSum[1 + 2 * j] += SumAbs(r.d, r.x[j], 1);
        s.ErrorSum[2 + 2 * j] += SumAbs(r.d, r.x[j], -1);
    }
    AdaptWeights(s);
}

void AudioRun::DecodeRun(const std::uint8_t *symbols, std::uint32_t count, std::int32_t &channel,
                         std::int32_t channelCount, std::uint8_t *out)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        out[i] = Decode(channel, symbols[i]);
        if (++channel >= channelCount)
            channel = 0;
    }
}

}  // namespace qm
