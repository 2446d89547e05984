// encoder_levels.cpp - what each compression level of qmpack searches.
//
// Levels trade the depth of the hash-chain search, lazy matching and how
// early a search may stop for speed.  The default, 5, packs the benchmark's
// mixed data about twice as fast as level 6 (the encoder's own defaults)
// into 2 % more bytes.
#include "packer/encoder.h"

#include <algorithm>

namespace qmpack {

EncoderOptions LevelOptions(int level)
{
    struct Level {
        int maxChain;
        bool lazy;
        int maxLazy;
        std::uint32_t niceLength;
        std::uint32_t goodLength;
    };
    // Sizes and speeds on 56 MiB of the benchmark's mixed data (one core):
    // level 6 searches as the encoder's defaults do.
    static constexpr Level kLevels[] = {
        {2, false, 0, 16, 0},      // 1: 19.8 % of the input, about 70 MB/s
        {4, false, 0, 32, 0},      // 2: 19.1 %
        {6, true, 8, 32, 4},       // 3: 18.6 %
        {8, true, 16, 64, 8},      // 4: 18.0 %, about 50 MB/s
        {16, true, 16, 64, 8},     // 5: 17.6 %, about 40 MB/s
        {32, true, 64, 258, 32},   // 6: 17.3 %, about 21 MB/s
        {64, true, 128, 258, 64},  // 7: 16.9 %
        {256, true, 258, 0, 0},    // 8: 16.5 %, about 7 MB/s
        {1024, true, 260, 0, 0},   // 9: 16.2 %, about 2 MB/s
    };
    const Level &l = kLevels[std::clamp(level, kFastestLevel, kSmallestLevel) - 1];
    EncoderOptions o;
    o.maxChain = l.maxChain;
    o.lazy = l.lazy;
    o.maxLazy = l.maxLazy;
    o.niceLength = l.niceLength;
    o.goodLength = l.goodLength;
    return o;
}

}  // namespace qmpack
