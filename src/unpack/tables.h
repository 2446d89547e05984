// tables.h - the constant tables of the LZ stream format.
//
// Every base/bits pair satisfies base[0] = 0 and base[k + 1] = base[k] +
// 2^bits[k] (checked below at compile time):
//   lengths          28 slots, symbols 270-297 and the length after 257-260;
//   distances        48 slots, coded with DistanceTable after 270-297;
//   short distances   8 slots, symbols 261-268 (matches of length 2).
#pragma once

#include <cstdint>

namespace qm {

constexpr int kLengthSlots = 28;
constexpr int kDistanceSlots = 48;
constexpr int kShortDistanceSlots = 8;

inline constexpr std::uint8_t LengthBase[kLengthSlots] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20,
    24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr std::uint8_t LengthBits[kLengthSlots] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr std::uint32_t DistanceBase[kDistanceSlots] = {
    0, 1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128, 192,
    256, 384, 512, 768, 1024, 1536, 2048, 3072, 4096, 6144, 8192, 12288,
    16384, 24576, 32768, 49152, 65536, 98304, 131072, 196608, 262144, 327680, 393216, 458752,
    524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
inline constexpr std::uint8_t DistanceBits[kDistanceSlots] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
    15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
inline constexpr std::uint8_t ShortDistanceBase[kShortDistanceSlots] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr std::uint8_t ShortDistanceBits[kShortDistanceSlots] = {2, 2, 3, 4, 5, 6, 6, 6};

namespace detail {
template <typename Base, int N>
constexpr bool BasesFollowBits(const Base (&base)[N], const std::uint8_t (&bits)[N])
{
    if (base[0] != 0)
        return false;
    for (int k = 0; k + 1 < N; ++k)
        if (base[k + 1] != base[k] + (1u << bits[k]))
            return false;
    return true;
}
}  // namespace detail
static_assert(detail::BasesFollowBits(LengthBase, LengthBits));
static_assert(detail::BasesFollowBits(DistanceBase, DistanceBits));
static_assert(detail::BasesFollowBits(ShortDistanceBase, ShortDistanceBits));
static_assert(DistanceBase[47] + (1u << DistanceBits[47]) == 0x100000, "largest distance is 1 MiB");

// Alphabet sizes of the prefix-code tables.
constexpr int kBitLengthSymbols = 19;  // 0-15 code lengths, 16-18 runs
constexpr int kMainSymbols = 298;
constexpr int kDistanceSymbols = kDistanceSlots;
constexpr int kRepeatLengthSymbols = kLengthSlots;
constexpr int kAudioSymbols = 257;
constexpr int kMaxChannels = 4;
constexpr int kLzLengthCount = kMainSymbols + kDistanceSymbols + kRepeatLengthSymbols;  // 374
constexpr int kMaxLengthCount = kMaxChannels * kAudioSymbols;                          // 1028

// Main-alphabet symbols.
constexpr int kSymRepeatLast = 256;     // repeat the last match
constexpr int kSymOldDistance = 257;    // 257-260: one of the four last distances
constexpr int kSymShortDistance = 261;  // 261-268: length 2, short distance
constexpr int kSymNewTables = 269;      // a table read follows
constexpr int kSymLength = 270;         // 270-297: length slot, then a distance
constexpr int kSymAudioNewTables = 256;

// Length bonuses: a match this far back is coded shorter than it is.
constexpr std::uint32_t kBonusDistance1 = 0x101;  // old-distance symbols only
constexpr std::uint32_t kBonusDistance2 = 0x2000;
constexpr std::uint32_t kBonusDistance3 = 0x40000;

// What a match at distance adds to its coded length; an old distance adds
// one more from kBonusDistance1 on.
constexpr std::uint32_t LengthBonus(std::uint32_t distance)
{
    return (distance >= kBonusDistance2 ? 1u : 0u) + (distance >= kBonusDistance3 ? 1u : 0u);
}
constexpr std::uint32_t OldDistanceLengthBonus(std::uint32_t distance)
{
    return (distance >= kBonusDistance1 ? 1u : 0u) + LengthBonus(distance);
}

constexpr std::uint32_t kWindowSize = 0x100000;  // 1 MiB
constexpr std::uint32_t kWindowMask = kWindowSize - 1;

}  // namespace qm
