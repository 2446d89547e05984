// The decoder against a real stream made by a packer nobody here wrote.
#include <gtest/gtest.h>

#include "unpack_harness.h"

namespace {

TEST(UnpackCorpus, RealLzStreamDecodesToItsSizeAndCrc)
{
    // SOUND\BOAT.WAV of real-lz.qm: its header block at 3134, the data right
    // behind the 432-byte block.
    const auto d = qmtest::DecodeAt(qmtest::CorpusFile("real-lz.qm"), 3134 + 432, 42551, 56464);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.output.size(), 56464u);
    EXPECT_EQ(d.crc, 0x82d2ed89u);
    EXPECT_EQ(qmpack::Crc32(d.output), 0x82d2ed89u);
}

}  // namespace
