// Our encoder's audio-mode streams checked by a peer: unar decodes them,
// wrapped in a RAR archive, back to the original bytes.  1 to 4 channels,
// channel counts that change, LZ and audio in turn, and more than a window of
// samples.
#include <gtest/gtest.h>

#include "audio_inputs.h"
#include "native/rar_wrap.h"
#include "packer/encoder.h"
#include "support/temp_dir.h"
#include "unpack_harness.h"

namespace {

void ExpectUnarDecodes(const qmpack::Bytes &stream, const qmpack::Bytes &data, const qmtest::TempDir &dir,
                       const std::string &tag)
{
    const std::string name = tag + ".bin";
    const std::string archive = dir.Write(
        tag + ".rar", qmtest::WrapRar(stream, static_cast<std::uint32_t>(data.size()), qmpack::Crc32(data), name));
    qmpack::Bytes output;
    std::string log;
    ASSERT_TRUE(qmtest::RunUnar(archive, dir.File("out-" + tag), name, output, log)) << log;
    ASSERT_EQ(output.size(), data.size());
    EXPECT_TRUE(output == data);
}

TEST(UnarAudio, DecodesOurAudioStreamsToTheOriginalBytes)
{
    qmtest::TempDir dir;
    int serial = 0;
    for (const auto &c : qmtest::AudioRoundTripCases()) {
        SCOPED_TRACE(c.name);
        ExpectUnarDecodes(qmpack::Encode(c.data, c.options), c.data, dir, std::string("a").append(std::to_string(++serial)));
    }
}

TEST(UnarAudio, DecodesTheCorpusWavPackedInAudioMode)
{
    const auto wav = qmtest::DecodeAt(qmtest::CorpusFile("real-lz.qm"), 3134 + 432, 42551, 56464);
    ASSERT_EQ(qmpack::Crc32(wav.output), 0x82d2ed89u);
    qmtest::TempDir dir;
    ExpectUnarDecodes(qmpack::Encode(wav.output, qmtest::AudioOptions(qmpack::AudioMode::Auto)), wav.output, dir,
                      "boat");
}

}  // namespace
