// wide_bits.h - a 64-bit bit buffer over the input buffer, for the runs of
// the decoding loop that the input's refill points keep wholly inside it.
//
// The unread bits sit at the top of buf, the next one in bit 63.  `count` of
// them are counted; the bits below repeat the bytes from `next` on, so a
// refill may OR those bytes in again without a test of how many bits are
// left, and never needs a branch.  A refill leaves at least 56 bits counted
// and advances next by at most 7 bytes; it loads the 8 bytes from next.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "unpack/bit_input.h"

namespace qm {

struct WideBits {
    // The fewest bits a refill leaves counted.
    static constexpr std::uint32_t kRefilledBits = 56;

    const std::uint8_t *start;  // the input buffer
    const std::uint8_t *next;   // the next byte to load
    std::uint64_t buf;
    std::uint32_t count;

    static std::uint64_t LoadBigEndian(const std::uint8_t *p)
    {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        if constexpr (std::endian::native == std::endian::little)
            v = __builtin_bswap64(v);
        return v;
    }

    void Start(const BitCursor &in)
    {
        start = in.bytes;
        next = in.bytes + in.pos;
        buf = 0;
        count = 0;
        Refill();
        buf <<= in.bit;
        count -= in.bit;
    }
    void Refill()
    {
        buf |= LoadBigEndian(next) >> count;
        next += (63 - count) >> 3;
        count |= kRefilledBits;
    }
    void Skip(std::uint32_t n)
    {
        buf <<= n;
        count -= n;
    }
    // The extra field behind a code: `extra` bits after the first
    // `total - extra` (total from 1 to 31, extra from 0 to 16).
    std::uint32_t Field(std::uint32_t total, std::uint32_t extra) const
    {
        return static_cast<std::uint32_t>(buf >> (64 - total)) & ((1u << extra) - 1);
    }
    // The cursor's position in the input buffer, as a bit count.
    std::uint32_t BitPosition() const
    {
        return static_cast<std::uint32_t>(next - start) * 8 - count;
    }
    void End(BitCursor &in) const
    {
        const std::uint32_t bit = BitPosition();
        in.pos = bit >> 3;
        in.bit = bit & 7;
    }
};

}  // namespace qm
