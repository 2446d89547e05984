// audio_predictor.h - the encoder's side of audio mode: the same adaptive
// per-channel predictor the decoder runs, used backwards.
//
// The decoder turns a symbol into byte = (prediction - symbol) mod 256; the
// encoder, knowing the byte, codes symbol = (prediction - byte) mod 256 and
// then updates the channel exactly as the decoder will.
//
// Prediction of a channel: (8 * last byte + w[0] * d[0] + w[1] * d[1] +
// w[2] * d[2] + w[3] * d[3] + w[4] * shared) >> 3 (arithmetic), mod 256, where
// d[0] is the channel's previous byte-to-byte delta, d[1] the change of its
// two latest deltas, d[2] and d[3] that change one and two bytes earlier, and
// shared the delta of the latest byte of any channel.  Every 32 bytes of a
// channel, the one weight step (or none) that would have erred least is
// taken; weights stay within -17 and 16.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>

namespace qmpack {

class AudioPredictor {
public:
    // The symbol that makes channel c (0-3) produce byte; the channel and the
    // shared delta move on as the decoder's do.
    std::uint8_t Code(int c, std::uint8_t byte)
    {
        Channel &ch = channels_[c];
        ++ch.count;
        const std::int32_t fresh = ch.latest - ch.d[0];
        ch.d[3] = ch.d[2];
        ch.d[2] = ch.d[1];
        ch.d[1] = fresh;
        ch.d[0] = ch.latest;
        const std::int32_t inputs[5] = {ch.d[0], ch.d[1], ch.d[2], ch.d[3], shared_};
        std::int32_t p = 8 * std::int32_t{ch.last};
        for (int k = 0; k < 5; ++k)
            p += ch.w[k] * inputs[k];
        const std::uint8_t predicted = static_cast<std::uint8_t>(p >> 3);
        const std::uint8_t symbol = static_cast<std::uint8_t>(predicted - byte);

        // The error each candidate step would have made on this byte.
        const std::int32_t e = 8 * static_cast<std::int8_t>(symbol);
        ch.err[0] += static_cast<std::uint32_t>(std::abs(e));
        for (int k = 0; k < 5; ++k) {
            ch.err[1 + 2 * k] += static_cast<std::uint32_t>(std::abs(e - inputs[k]));
            ch.err[2 + 2 * k] += static_cast<std::uint32_t>(std::abs(e + inputs[k]));
        }
        ch.latest = shared_ = static_cast<std::int8_t>(byte - ch.last);
        ch.last = byte;
        if (ch.count % 32 == 0)
            Adapt(ch);
        return symbol;
    }

private:
    struct Channel {
        std::array<std::int32_t, 5> w{};
        std::array<std::int32_t, 4> d{};
        std::int32_t latest = 0;
        std::array<std::uint32_t, 11> err{};
        std::uint32_t count = 0;
        std::uint8_t last = 0;
    };

    static void Adapt(Channel &ch)
    {
        int best = 0;
        for (int i = 1; i < 11; ++i)
            if (ch.err[i] < ch.err[best])
                best = i;
        ch.err.fill(0);
        if (best == 0)
            return;
        std::int32_t &w = ch.w[(best - 1) / 2];
        if (best % 2 == 1 && w >= -16)
            --w;
        else if (best % 2 == 0 && w < 16)
            ++w;
    }

    std::array<Channel, 4> channels_{};
    std::int32_t shared_ = 0;
};

}  // namespace qmpack
