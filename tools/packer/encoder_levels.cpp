// encoder_levels.cpp - what each compression level of qmpack searches.
//
// Levels trade the depth of the hash-chain search, lazy matching, how early
// a search may stop and how soon a run of literals is passed over quickly
// for speed.  The default, 5, packs the benchmark's mixed data about twice as
// fast as level 6 (which searches as the encoder's own defaults do) into 2 %
// more bytes; data that does not compress goes at about 20 MB/s at every
// level up to 7 (instead of 2).
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
        std::uint32_t skipAfterLiterals;
        int hashBits;
    };
    // Sizes and speeds on 56 MiB of the benchmark's mixed data (one core).
    static constexpr Level kLevels[] = {
        {2, false, 0, 16, 0, 32, 17},       // 1: 19.8 % of the input, about 70 MB/s
        {4, false, 0, 32, 0, 32, 17},       // 2: 19.1 %
        {6, true, 8, 32, 4, 32, 17},        // 3: 18.6 %
        {8, true, 16, 64, 8, 32, 17},       // 4: 18.0 %, about 50 MB/s
        {16, true, 16, 64, 8, 32, 17},      // 5: 17.6 %, about 40 MB/s
        {32, true, 64, 258, 32, 64, 17},    // 6: 17.3 %, about 21 MB/s
        {64, true, 128, 258, 64, 64, 17},   // 7: 16.9 %
        {256, true, 258, 0, 0, 0, 18},      // 8: 16.5 %, about 7 MB/s
        {1024, true, 260, 0, 0, 0, 18},     // 9: 16.2 %, about 2 MB/s
    };
    const Level &l = kLevels[std::clamp(level, kFastestLevel, kSmallestLevel) - 1];
    EncoderOptions o;
    o.maxChain = l.maxChain;
    o.lazy = l.lazy;
    o.maxLazy = l.maxLazy;
    o.niceLength = l.niceLength;
    o.goodLength = l.goodLength;
    o.skipAfterLiterals = l.skipAfterLiterals;
    o.hashBits = l.hashBits;
    return o;
}

}  // namespace qmpack
