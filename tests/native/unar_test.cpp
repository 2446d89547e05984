// Our encoder's streams checked by a peer: unar decodes them, wrapped in a
// RAR archive, back to the original bytes.  Together with the real stream of
// the corpus this ties both our encoder and our decoder to data nobody here
// wrote.
#include <gtest/gtest.h>

#include "encoder_inputs.h"
#include "native/rar_wrap.h"
#include "packer/encoder.h"
#include "support/temp_dir.h"

namespace {

TEST(Unar, DecodesOurStreamsToTheOriginalBytes)
{
    const qmpack::EncoderOptions optionSets[] = {
        {},
        {997, qmpack::TableDelta::Always, 8, false, 0x100000},
        qmpack::LevelOptions(1),
        qmpack::LevelOptions(9),
    };
    const char *const optionNames[] = {"default", "small delta blocks", "level 1", "level 9"};
    qmtest::TempDir dir;
    int serial = 0;
    for (const auto &input : qmtest::RoundTripInputs()) {
        for (const auto &options : optionSets) {
            if (input.data.size() > 0x100000 && &options != &optionSets[0])
                continue;
            SCOPED_TRACE(input.name + " / " + optionNames[&options - optionSets]);
            const std::string name = "data" + std::to_string(++serial) + ".bin";
            const qmpack::Bytes stream = qmpack::EncodeLz(input.data, options);
            const std::string archive = dir.Write(
                std::string("a").append(std::to_string(serial)).append(".rar"),
                qmtest::WrapRar(stream, static_cast<std::uint32_t>(input.data.size()),
                                qmpack::Crc32(input.data), name));
            const std::string outDir = dir.File("out" + std::to_string(serial));
            qmpack::Bytes output;
            std::string log;
            ASSERT_TRUE(qmtest::RunUnar(archive, outDir, name, output, log)) << log;
            ASSERT_EQ(output.size(), input.data.size());
            EXPECT_TRUE(output == input.data);
        }
    }
}

}  // namespace
