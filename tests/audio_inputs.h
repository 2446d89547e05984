// audio_inputs.h - sampled sound for the audio-mode round trips: tones with a
// little noise as 8- and 16-bit PCM in interleaved channels, and files that
// mix such samples with a header and text.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder_inputs.h"
#include "packer/encoder.h"

namespace qmtest {

// frames of `channels` interleaved samples of `bytesPerSample` bytes (1:
// unsigned 8-bit, 2: signed 16-bit little-endian, 3: signed 24-bit); each
// channel a sum of two tones plus a little noise.
inline qmpack::Bytes PcmBytes(std::size_t frames, int channels, int bytesPerSample, std::uint32_t seed)
{
    qmpack::Bytes out;
    out.reserve(frames * static_cast<std::size_t>(channels * bytesPerSample));
    const double full = bytesPerSample == 1 ? 100.0 : bytesPerSample == 2 ? 20000.0 : 5000000.0;
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(f);
            const double v = 0.6 * std::sin(t * (0.021 + 0.007 * c)) + 0.3 * std::sin(t * (0.0031 + 0.001 * c));
            const double noise = static_cast<double>(NextRandom(seed) % 1001) / 1000.0 - 0.5;
            auto sample = static_cast<std::int32_t>(v * full + noise * full / 64.0);
            if (bytesPerSample == 1)
                sample += 128;
            for (int k = 0; k < bytesPerSample; ++k)
                out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(sample) >> (8 * k)));
        }
    }
    return out;
}

struct AudioCase {
    std::string name;
    qmpack::Bytes data;
    qmpack::EncoderOptions options;
};

inline qmpack::EncoderOptions AudioOptions(qmpack::AudioMode mode, int channels = 0,
                                           std::size_t blockSymbols = 0x8000)
{
    qmpack::EncoderOptions o;
    o.audio = mode;
    o.audioChannels = channels;
    o.blockSymbols = blockSymbols;
    return o;
}

// A 44-byte header, 16-bit stereo samples, then text: LZ, audio, LZ.
inline qmpack::Bytes MixedSoundFile(std::size_t frames, std::uint32_t seed)
{
    // Sized first and filled after: GCC 12 at -O3 warns (-Warray-bounds) on
    // a 16-byte initializer list grown by resize.
    qmpack::Bytes out(44, 0);
    const char head[] = "RIFF\0\0\0\0WAVEfmt ";
    std::copy(head, head + 16, out.begin());
    const qmpack::Bytes pcm = PcmBytes(frames, 2, 2, seed);
    const qmpack::Bytes text = TextBytes(60000, seed + 1);
    out.insert(out.end(), pcm.begin(), pcm.end());
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// Pieces of text and of sound in turn: the automatic choice switches between
// LZ and audio mode several times.
inline qmpack::Bytes AlternatingSoundAndText(std::uint32_t seed)
{
    qmpack::Bytes out;
    for (int k = 0; k < 3; ++k) {
        const qmpack::Bytes pcm = PcmBytes(20000, 1, 2, seed + k);
        const qmpack::Bytes text = TextBytes(70000, seed + 10 + k);
        out.insert(out.end(), pcm.begin(), pcm.end());
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

// 8-bit mono, then 16-bit stereo: the best channel count changes.
inline qmpack::Bytes MonoThenStereo(std::uint32_t seed)
{
    qmpack::Bytes out = PcmBytes(50000, 1, 1, seed);
    const qmpack::Bytes stereo = PcmBytes(25000, 2, 2, seed + 1);
    out.insert(out.end(), stereo.begin(), stereo.end());
    return out;
}

inline std::vector<AudioCase> AudioRoundTripCases()
{
    using qmpack::AudioMode;
    std::vector<AudioCase> v;
    v.push_back({"one byte", {0x80}, AudioOptions(AudioMode::Always)});
    v.push_back({"8-bit mono, 1 channel", PcmBytes(40000, 1, 1, 1), AudioOptions(AudioMode::Always, 1)});
    v.push_back({"16-bit mono, 2 channels", PcmBytes(30000, 1, 2, 2), AudioOptions(AudioMode::Always, 2)});
    v.push_back({"24-bit mono, 3 channels", PcmBytes(20000, 1, 3, 3), AudioOptions(AudioMode::Always, 3)});
    v.push_back({"16-bit stereo, 4 channels, small blocks", PcmBytes(20000, 2, 2, 4),
                 AudioOptions(AudioMode::Always, 4, 3001)});
    v.push_back({"channel counts change", MonoThenStereo(5), AudioOptions(AudioMode::Always, 0, 10000)});
    v.push_back({"header, samples, text", MixedSoundFile(40000, 6), AudioOptions(AudioMode::Auto, 0, 8192)});
    v.push_back({"sound and text in turn", AlternatingSoundAndText(7), AudioOptions(AudioMode::Auto, 0, 16384)});
    v.push_back({"over a window of samples", PcmBytes(0x50000, 2, 2, 8), AudioOptions(AudioMode::Auto)});
    v.push_back({"over a window in 3 channels", PcmBytes(0x60000, 1, 3, 9), AudioOptions(AudioMode::Always, 3)});
    return v;
}

}  // namespace qmtest
