// length_slots.h - the stream's slots for lengths and distances: a value is
// coded as its slot's symbol followed by `bits` extra bits above the slot's
// base.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

namespace qmpack {

// base[k + 1] = base[k] + 2^bits[k], base[0] = 0.
template <int N>
struct SlotTable {
    std::array<std::uint32_t, N> base{};
    std::array<std::uint8_t, N> bits{};
};

constexpr SlotTable<28> MakeLengthSlots()
{
    SlotTable<28> t{};
    for (int k = 0; k < 28; ++k) {
        t.bits[k] = static_cast<std::uint8_t>(k < 8 ? 0 : (k - 4) / 4);
        if (k > 0)
            t.base[k] = t.base[k - 1] + (1u << t.bits[k - 1]);
    }
    return t;
}

constexpr SlotTable<48> MakeDistanceSlots()
{
    SlotTable<48> t{};
    for (int k = 0; k < 48; ++k) {
        t.bits[k] = static_cast<std::uint8_t>(k < 4 ? 0 : k < 34 ? k / 2 - 1 : 16);
        if (k > 0)
            t.base[k] = t.base[k - 1] + (1u << t.bits[k - 1]);
    }
    return t;
}

inline constexpr SlotTable<8> kShortSlots = {{0, 4, 8, 16, 32, 64, 128, 192}, {2, 2, 3, 4, 5, 6, 6, 6}};
inline constexpr SlotTable<28> kLengthSlots = MakeLengthSlots();
inline constexpr SlotTable<48> kDistanceSlots = MakeDistanceSlots();
static_assert(kLengthSlots.base[27] == 224 && kLengthSlots.bits[27] == 5);
static_assert(kDistanceSlots.base[47] == 983040 && kDistanceSlots.base[34] == 131072);

template <int N>
int SlotOf(const SlotTable<N> &t, std::uint32_t value)
{
    return static_cast<int>(std::upper_bound(t.base.begin(), t.base.end(), value) - t.base.begin()) - 1;
}

// SlotOf for the two big tables, from the value's highest bit: past the
// first slots of one value each, every power of two spans four length slots
// or two distance slots (below 0x20000; above, slots of 0x10000 each).
inline int LengthSlot(std::uint32_t value)  // value < 256
{
    if (value < 8)
        return static_cast<int>(value);
    const int top = std::bit_width(value) - 1;
    return 4 * (top - 3) + 8 + static_cast<int>((value >> (top - 2)) & 3);
}

inline int DistanceSlot(std::uint32_t value)  // value < 0x100000
{
    if (value < 4)
        return static_cast<int>(value);
    if (value >= 0x20000)
        return 34 + static_cast<int>((value - 0x20000) >> 16);
    const int top = std::bit_width(value) - 1;
    return 2 * top + static_cast<int>((value >> (top - 1)) & 1);
}

// The extra bits of a distance value (distance - 1).
inline std::uint32_t DistanceSlotBits(std::uint32_t value) { return kDistanceSlots.bits[DistanceSlot(value)]; }

}  // namespace qmpack
