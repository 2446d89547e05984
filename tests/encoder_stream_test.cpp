// The encoder fed in pieces: input larger than its buffer, so the buffer
// slides many times, must give the stream the whole input gives, and blocks
// the automatic mode holds for its audio trial must stay whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "audio_inputs.h"
#include "encoder_inputs.h"
#include "packer/encoder.h"
#include "unpack_harness.h"

namespace {

// The stream of `data` with the source handing out at most `piece` bytes a call.
qmpack::Bytes EncodeInPieces(const qmpack::Bytes &data, std::size_t piece, const qmpack::EncoderOptions &options)
{
    std::size_t at = 0;
    const qmpack::ByteSource source = [&](std::uint8_t *to, std::size_t n) {
        n = std::min({n, piece, data.size() - at});
        std::copy(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n), to);
        at += n;
        return n;
    };
    qmpack::Bytes stream;
    const qmpack::ByteSink sink = [&](const std::uint8_t *bytes, std::size_t n) {
        stream.insert(stream.end(), bytes, bytes + n);
        return true;
    };
    EXPECT_TRUE(qmpack::EncodeStream(source, sink, options));
    return stream;
}

TEST(EncoderStream, PiecesGiveTheStreamOfTheWhole)
{
    struct Case {
        const char *what;
        qmpack::Bytes data;
        qmpack::EncoderOptions options;
    };
    // 10 MiB: more than the encoder holds at a time (7 MiB), so its buffer
    // slides.
    const Case cases[] = {
        {"mixed, default level", qmtest::MixedBytes((10 << 20) + 4321, 41), qmpack::LevelOptions(qmpack::kDefaultLevel)},
        {"mixed, level 1", qmtest::MixedBytes((10 << 20) + 17, 42), qmpack::LevelOptions(1)},
        // Long runs: blocks of 32768 matches span far more than the 4 MiB a
        // held block may, so the automatic mode cuts them there.
        {"runs, automatic", qmtest::RunBytes(10 << 20, 43), qmtest::AudioOptions(qmpack::AudioMode::Auto)},
        {"sound, audio blocks", qmtest::PcmBytes(0x300000, 2, 2, 44), qmtest::AudioOptions(qmpack::AudioMode::Always, 0, 100000)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const qmpack::Bytes whole = qmpack::Encode(c.data, c.options);
        EXPECT_EQ(EncodeInPieces(c.data, 4093, c.options), whole);
        const auto decoded = qmtest::DecodeStream(whole, static_cast<std::int32_t>(c.data.size()));
        EXPECT_EQ(decoded.status, 0);
        EXPECT_TRUE(decoded.output == c.data);
    }
}

TEST(EncoderStream, ASinkThatRefusesStopsTheEncoder)
{
    const qmpack::Bytes data = qmtest::MixedBytes(3 << 20, 45);
    std::size_t at = 0, calls = 0;
    const qmpack::ByteSource source = [&](std::uint8_t *to, std::size_t n) {
        n = std::min(n, data.size() - at);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), n, to);
        at += n;
        return n;
    };
    const qmpack::ByteSink refuse = [&](const std::uint8_t *, std::size_t) { return ++calls < 2; };
    EXPECT_FALSE(qmpack::EncodeStream(source, refuse, qmpack::LevelOptions(1)));
    EXPECT_EQ(calls, 2u);
}

TEST(EncoderStream, DeeperLevelsPackSmaller)
{
    const qmpack::Bytes data = qmtest::MixedBytes(2 << 20, 46);
    const std::size_t fastest = qmpack::EncodeLz(data, qmpack::LevelOptions(1)).size();
    const std::size_t standard = qmpack::EncodeLz(data, qmpack::LevelOptions(qmpack::kDefaultLevel)).size();
    const std::size_t smallest = qmpack::EncodeLz(data, qmpack::LevelOptions(9)).size();
    EXPECT_LT(standard, fastest);
    EXPECT_LT(smallest, standard);
}

}  // namespace
