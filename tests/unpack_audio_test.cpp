// Audio mode: the predictor's arithmetic on its own, hand-built streams that
// switch channels and modes, damaged audio streams, and our encoder's audio
// streams decoded back.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "audio_inputs.h"
#include "packer/audio_predictor.h"
#include "packer/encoder.h"
#include "unpack/audio.h"
#include "unpack_harness.h"

namespace {

using qmpack::Bytes;

// ---- the predictor ----------------------------------------------------------

// A decoder's predictors and the channel of its next byte, decoding one
// symbol at a time as the decoding loop does.
struct Predictors {
    qm::AudioState state{};
    std::int32_t channel = 0;

    std::uint8_t DecodeByte(std::uint32_t symbol)
    {
        qm::AudioRun run;
        run.Load(state);
        const std::uint8_t byte = run.Decode(channel, symbol);
        run.Store(state);
        return byte;
    }
};

Predictors FreshPredictors(int channel = 0)
{
    Predictors p;
    p.channel = channel;
    return p;
}

TEST(AudioPredictor, FirstByteOfEveryChannelIsTheNegatedSymbol)
{
    Predictors p;
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        p = FreshPredictors(c);
        EXPECT_EQ(p.DecodeByte(0), 0);
        p = FreshPredictors(c);
        EXPECT_EQ(p.DecodeByte(1), 255);
    }
}

TEST(AudioPredictor, SymbolIsReadAsASignedByteTimesEight)
{
    Predictors p;
    struct Case {
        std::uint32_t symbol;
        std::uint8_t byte;
        std::uint32_t errorSum0;  // abs(D) of the first byte
    };
    const Case cases[] = {{127, 129, 1016}, {128, 128, 1024}, {1, 255, 8}, {255, 1, 8}, {0, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.symbol);
        p = FreshPredictors();
        EXPECT_EQ(p.DecodeByte(c.symbol), c.byte);
        EXPECT_EQ(p.state.channels[0].ErrorSum[0], c.errorSum0);
        EXPECT_EQ(p.state.channels[0].SampleCount, 1u);
    }
}

TEST(AudioPredictor, ChannelDeltaCarriesThePreviousByteAcrossChannels)
{
    Predictors p;
    p = FreshPredictors();
    EXPECT_EQ(p.DecodeByte(246), 10);  // channel 0: 0 - (-10)
    EXPECT_EQ(p.state.channelDelta, 10);
    p.channel = 1;
    EXPECT_EQ(p.DecodeByte(3), 253);  // channel 1: 0 - 3
    EXPECT_EQ(p.state.channelDelta, -3);
    EXPECT_EQ(p.state.channels[1].LastDelta, -3);
    EXPECT_EQ(p.state.channels[0].LastDelta, 10);

    // Channel 0's second byte: D = 8, its own delta 10, the shared one -3.
    p.channel = 0;
    EXPECT_EQ(p.DecodeByte(1), 9);
    const qm::AudioChannelState &s = p.state.channels[0];
    EXPECT_EQ(s.Delta1, 10);
    EXPECT_EQ(s.ErrorSum[1], 80u + 2u);   // |-80 - 0| + |8 - 10|
    EXPECT_EQ(s.ErrorSum[2], 80u + 18u);  // |-80 + 0| + |8 + 10|
    EXPECT_EQ(s.ErrorSum[9], 80u + 11u);  // |-80 - 0| + |8 - (-3)|
    EXPECT_EQ(s.ErrorSum[10], 80u + 5u);  // |-80 + 0| + |8 + (-3)|
    EXPECT_EQ(p.state.channelDelta, -1);
}

TEST(AudioPredictor, WeightSearchAfterEvery32ndByteKeepsTheBounds)
{
    Predictors p;
    struct Case {
        int weight;        // 0-4: Weight1-Weight5
        std::int32_t start;
        std::set<int> smallest;  // sums set to 0, the others large
        std::int32_t expected;
    };
    const Case cases[] = {
        {0, 15, {2}, 16},  {0, 16, {2}, 16},    {0, -16, {1}, -17}, {0, -17, {1}, -17},
        {4, 16, {10}, 16}, {4, -17, {9}, -17},  {2, 0, {5}, -1},    {3, 0, {8}, 1},
        {1, 0, {3, 4}, -1},  // a tie goes to the lowest index
        {1, 5, {0, 4}, 5},   // the sum of no change among the smallest: none
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.weight * 1000 + c.start);
        p = FreshPredictors();
        qm::AudioChannelState &s = p.state.channels[0];
        std::int32_t *weights[5] = {&s.Weight1, &s.Weight2, &s.Weight3, &s.Weight4, &s.Weight5};
        *weights[c.weight] = c.start;
        for (int i = 0; i < 11; ++i)
            s.ErrorSum[i] = c.smallest.count(i) ? 0 : 1000000;
        s.SampleCount = 30;
        p.DecodeByte(0);  // the 31st byte: no search yet
        EXPECT_EQ(*weights[c.weight], c.start);
        p.DecodeByte(0);  // the 32nd
        EXPECT_EQ(*weights[c.weight], c.expected);
        for (int i = 0; i < 11; ++i)
            EXPECT_EQ(s.ErrorSum[i], 0u) << i;
    }
}

TEST(AudioPredictor, EncoderModelInvertsTheDecoder)
{
    Predictors p;
    // Random symbols over rotating channels: the encoder's predictor, given
    // the decoded bytes, must find the same symbols.
    for (int channels = 1; channels <= 4; ++channels) {
        p = FreshPredictors();
        qmpack::AudioPredictor model;
        std::uint32_t seed = 99u + static_cast<std::uint32_t>(channels);
        for (int i = 0; i < 5000; ++i) {
            const int c = i % channels;
            p.channel = c;
            const std::uint32_t symbol = qmtest::NextRandom(seed) % 9 == 0 ? qmtest::NextRandom(seed) & 0xFF
                                                                            : (qmtest::NextRandom(seed) % 7 + 253) & 0xFF;
            const std::uint8_t byte = p.DecodeByte(symbol);
            ASSERT_EQ(model.Code(c, byte), symbol) << channels << " channels, byte " << i;
        }
    }
}

// ---- hand-built streams -------------------------------------------------------

// Bits most significant first; every table gives each symbol a 9-bit code,
// so a symbol is written as its own number.
struct StreamWriter : qmtest::BitSink {
    void Lengths(int count, std::uint32_t length)
    {
        for (int s = 0; s < 19; ++s)
            Bits(5, 4);  // every bit-length symbol 5 bits: its code is its number
        for (int i = 0; i < count; ++i)
            Bits(length, 5);
    }
    void AudioTables(int channels)
    {
        Bits(2, 2);
        Bits(static_cast<std::uint32_t>(channels - 1), 2);
        Lengths(257 * channels, 9);
    }
    void LzTables()
    {
        Bits(0, 2);
        Lengths(374, 9);
    }
    void Symbol(std::uint32_t s) { Bits(s, 9); }
};

TEST(AudioStream, ChannelRotationAcrossTableReadsAndModeSwitches)
{
    // While every weight is 0 (the first 32 bytes of a channel) a byte is the
    // channel's last byte minus the symbol.
    struct Case {
        const char *name;
        void (*build)(StreamWriter &);
        Bytes expected;
    };
    const Case cases[] = {
        {"fewer channels than the current one + 1: restart at channel 0",
         [](StreamWriter &w) {
             w.AudioTables(3);
             w.Symbol(1);  // channel 0: 255
             w.Symbol(2);  // channel 1: 254
             w.Symbol(256);
             w.AudioTables(2);  // current channel 2 is gone
             w.Symbol(1);       // channel 0: 255 - 1
             w.Symbol(1);       // channel 1: 254 - 1
         },
         {255, 254, 254, 253}},
        {"more channels: the current channel goes on",
         [](StreamWriter &w) {
             w.AudioTables(2);
             w.Symbol(1);  // channel 0: 255
             w.Symbol(256);
             w.AudioTables(4);
             w.Symbol(1);  // channel 1, fresh: 255
             w.Symbol(1);  // channel 2, fresh: 255
             w.Symbol(1);  // channel 3, fresh: 255
             w.Symbol(1);  // channel 0: 254
         },
         {255, 255, 255, 255, 254}},
        {"LZ in between keeps the channel and the predictors",
         [](StreamWriter &w) {
             w.AudioTables(2);
             w.Symbol(1);  // channel 0: 255
             w.Symbol(256);
             w.LzTables();
             w.Symbol('A');
             w.Symbol(269);
             w.AudioTables(2);
             w.Symbol(1);  // channel 1, fresh: 255
             w.Symbol(1);  // channel 0: 254
         },
         {255, 'A', 255, 254}},
        {"LZ first, then audio from channel 0",
         [](StreamWriter &w) {
             w.LzTables();
             w.Symbol('x');
             w.Symbol(269);
             w.AudioTables(1);
             w.Symbol(5);  // 251
             w.Symbol(1);  // 250
         },
         {'x', 251, 250}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StreamWriter w;
        c.build(w);
        w.Bits(0, 32);
        const auto d = qmtest::DecodeStream(w.out, static_cast<std::int32_t>(c.expected.size()));
        EXPECT_EQ(d.status, 0);
        EXPECT_EQ(d.output, c.expected);
    }
}

TEST(AudioStream, FirstAdaptationCountsBytesAcrossTableReads)
{
    // A ramp 0, 1, 2, ...: with zero weights the symbols are 0 then 255.
    // The sums of "Weight1 up" and "Weight5 up" tie as the smallest, so the
    // 32nd byte raises Weight1, however the bytes are split by table reads.
    for (const std::int32_t size : {31, 32}) {
        StreamWriter w;
        w.AudioTables(1);
        for (int i = 0; i < size; ++i) {
            if (i == 20) {
                w.Symbol(256);
                w.AudioTables(1);
            }
            w.Symbol(i == 0 ? 0 : 255);
        }
        w.Bits(0, 32);
        const auto session = std::make_unique<qm::ExportSession>();
        const auto d = qmtest::DecodeStream(w.out, size, {.session = session.get()});
        ASSERT_EQ(d.output.size(), static_cast<std::size_t>(size));
        for (int i = 0; i < size; ++i)
            EXPECT_EQ(d.output[static_cast<std::size_t>(i)], i);
        const qm::AudioChannelState &channel0 = session->decoder.audio.channels[0];
        EXPECT_EQ(channel0.SampleCount, static_cast<std::uint32_t>(size));
        EXPECT_EQ(channel0.Weight1, size == 32 ? 1 : 0);
        EXPECT_EQ(channel0.Weight5, 0);
    }
}

TEST(AudioStream, DamagedAudioStreamsEndInsideTheirBuffers)
{
    const Bytes pcm = qmtest::PcmBytes(30000, 2, 2, 21);
    const Bytes good = qmpack::Encode(pcm, qmtest::AudioOptions(qmpack::AudioMode::Always, 4, 5000));
    struct Case {
        const char *name;
        Bytes stream;
        std::int32_t size;
    };
    std::vector<Case> cases;
    {
        StreamWriter w;  // no symbol has a code
        w.Bits(2, 2);
        w.Bits(3, 2);
        w.Lengths(4 * 257, 0);
        for (int i = 0; i < 200; ++i)
            w.Bits(0x5A5A, 16);
        cases.push_back({"all lengths zero", w.out, 5000});
    }
    {
        StreamWriter w;  // every symbol a 1-bit code: over-full
        w.Bits(2, 2);
        w.Bits(1, 2);
        w.Lengths(2 * 257, 1);
        for (int i = 0; i < 200; ++i)
            w.Bits(0xC3A5, 16);
        cases.push_back({"over-full lengths", w.out, 5000});
    }
    {
        StreamWriter w;  // only the table switch has a code, in either mode
        for (int k = 0; k < 40; ++k) {
            w.Bits(k % 2 ? 0 : 2, 2);
            if (k % 2 == 0)
                w.Bits(0, 2);
            for (int s = 0; s < 19; ++s)
                w.Bits(s == 0 || s == 1 ? 1 : 0, 4);  // symbol 0 code 0, symbol 1 code 1
            const int count = k % 2 ? 374 : 257;
            const int sw = k % 2 ? 269 : 256;
            for (int i = 0; i < count; ++i)
                w.Bits(i == sw ? 1 : 0, 1);  // length 1 for the switch, 0 for the rest
            w.Bits(0, 1);                    // the switch symbol
        }
        cases.push_back({"a mode switch at every table read", w.out, 3000});
    }
    cases.push_back({"cut in the middle of an audio run", Bytes(good.begin(), good.begin() + good.size() / 2),
                     static_cast<std::int32_t>(pcm.size())});
    Bytes flipped = good;
    for (std::size_t i = 100; i < flipped.size(); i += 997)
        flipped[i] ^= 0x10;
    cases.push_back({"bits flipped", flipped, static_cast<std::int32_t>(pcm.size())});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto d = qmtest::DecodeStream(c.stream, c.size);
        EXPECT_EQ(d.status, 0);
        EXPECT_LE(d.output.size(), static_cast<std::size_t>(c.size));
    }
    const auto whole = qmtest::DecodeStream(good, static_cast<std::int32_t>(pcm.size()));
    EXPECT_EQ(whole.output, pcm);
}

// ---- our encoder's audio streams ------------------------------------------------

TEST(AudioEncoder, StreamsDecodeToTheOriginalBytes)
{
    for (const auto &c : qmtest::AudioRoundTripCases()) {
        SCOPED_TRACE(c.name);
        qmpack::EncoderStats stats;
        const Bytes stream = qmpack::Encode(c.data, c.options, &stats);
        const auto d = qmtest::DecodeStream(stream, static_cast<std::int32_t>(c.data.size()));
        EXPECT_EQ(d.status, 0);
        ASSERT_EQ(d.output.size(), c.data.size());
        EXPECT_TRUE(d.output == c.data);
        EXPECT_EQ(d.crc, qmpack::Crc32(c.data));
        EXPECT_GT(stats.audioBlocks, 0u);
        if (c.data.size() > 1000) {
            EXPECT_LT(stream.size(), qmpack::EncodeLz(c.data).size());
        }
    }
}

TEST(AudioEncoder, ChoosesChannelCountsAndModesPerBlock)
{
    qmpack::EncoderStats stats;
    qmpack::Encode(qmtest::MonoThenStereo(5), qmtest::AudioOptions(qmpack::AudioMode::Always, 0, 10000), &stats);
    EXPECT_GT(stats.audioBlocksByChannels[1], 0u);
    EXPECT_GT(stats.audioBlocksByChannels[4], 0u);
    EXPECT_EQ(stats.lzBlocks, 0u);

    stats = {};
    qmpack::Encode(qmtest::AlternatingSoundAndText(7), qmtest::AudioOptions(qmpack::AudioMode::Auto, 0, 16384),
                   &stats);
    EXPECT_GT(stats.audioBlocks, 0u);
    EXPECT_GT(stats.lzBlocks, 0u);
    EXPECT_GE(stats.modeSwitches, 4u);

    // Text alone stays LZ.
    stats = {};
    qmpack::Encode(qmtest::TextBytes(100000, 3), qmtest::AudioOptions(qmpack::AudioMode::Auto), &stats);
    EXPECT_EQ(stats.audioBlocks, 0u);
}

TEST(AudioEncoder, CorpusWavIsSmallerInAudioMode)
{
    // SOUND\BOAT.WAV of real-lz.qm (8-bit sound); its packer made 42,551
    // bytes of it in LZ mode.
    const auto wav = qmtest::DecodeAt(qmtest::CorpusFile("real-lz.qm"), 3134 + 432, 42551, 56464);
    ASSERT_EQ(qmpack::Crc32(wav.output), 0x82d2ed89u);
    const Bytes lz = qmpack::EncodeLz(wav.output);
    qmpack::EncoderStats stats;
    const Bytes automatic = qmpack::Encode(wav.output, qmtest::AudioOptions(qmpack::AudioMode::Auto), &stats);
    const Bytes audio = qmpack::Encode(wav.output, qmtest::AudioOptions(qmpack::AudioMode::Always));
    std::printf("BOAT.WAV %zu bytes: LZ %zu, automatic %zu (%zu audio blocks), audio always %zu\n",
                wav.output.size(), lz.size(), automatic.size(), stats.audioBlocks, audio.size());
    EXPECT_LT(automatic.size(), lz.size());
    for (const Bytes *stream : {&automatic, &audio}) {
        const auto d = qmtest::DecodeStream(*stream, 56464);
        EXPECT_EQ(d.crc, 0x82d2ed89u);
    }
}

}  // namespace
