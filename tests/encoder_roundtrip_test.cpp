// Our encoder's streams through our decoder: the bytes must come back.
#include <gtest/gtest.h>

#include "encoder_inputs.h"
#include "packer/encoder.h"
#include "unpack_harness.h"

namespace {

struct Options {
    const char *name;
    qmpack::EncoderOptions options;
};

const Options kOptionSets[] = {
    {"default", {}},
    {"greedy-small-blocks-plain", {1000, qmpack::TableDelta::Never, 8, false, 0x100000}},
    {"tiny-blocks-delta", {97, qmpack::TableDelta::Always, 4, true, 0x100000}},
    // qmpack's fastest and smallest: early chain stops, the deepest search.
    {"level 1", qmpack::LevelOptions(1)},
    {"level 9", qmpack::LevelOptions(9)},
};

TEST(EncoderRoundTrip, EveryInputComesBackThroughTheDecoder)
{
    qmpack::EncoderStats stats;
    for (const auto &input : qmtest::RoundTripInputs()) {
        for (const Options &o : kOptionSets) {
            // The largest inputs once, with the default options.
            if (input.data.size() > 0x100000 && &o != &kOptionSets[0])
                continue;
            SCOPED_TRACE(input.name + " / " + o.name);
            const qmpack::Bytes stream = qmpack::EncodeLz(input.data, o.options, &stats);
            const auto d = qmtest::DecodeStream(stream, static_cast<std::int32_t>(input.data.size()));
            EXPECT_EQ(d.status, 0);
            ASSERT_EQ(d.output.size(), input.data.size());
            EXPECT_TRUE(d.output == input.data);
            EXPECT_EQ(d.crc, qmpack::Crc32(input.data));
        }
    }
    // Every kind of symbol was in real use.
    EXPECT_GT(stats.literals, 0u);
    EXPECT_GT(stats.repeatLast, 0u);
    EXPECT_GT(stats.oldDistance, 0u);
    EXPECT_GT(stats.shortDistance, 0u);
    EXPECT_GT(stats.newTables, 0u);
    EXPECT_GT(stats.longMatches, 0u);
    EXPECT_GT(stats.plainTables, 0u);
    EXPECT_GT(stats.deltaTables, 0u);
    EXPECT_GT(stats.distance101, 0u);
    EXPECT_GT(stats.distance2000, 0u);
    EXPECT_GT(stats.distance40000, 0u);
    EXPECT_GT(stats.longestDistance, 0xF0000u);
    EXPECT_EQ(stats.longestLength, 260u);
}

TEST(EncoderRoundTrip, StreamsCompress)
{
    const qmpack::Bytes text = qmtest::TextBytes(200000, 1);
    EXPECT_LT(qmpack::EncodeLz(text).size(), text.size() / 3);
    const qmpack::Bytes runs = qmtest::RunBytes(300000, 4);
    EXPECT_LT(qmpack::EncodeLz(runs).size(), runs.size() / 20);
}

}  // namespace
