// md5.cpp - the MD5 message digest (RFC 1321).
//
// The message is padded with a 0x80 byte, zeros up to 56 bytes modulo 64, and
// its length in bits as a 64-bit little-endian number; each 64-byte block is
// then folded into four 32-bit words A, B, C, D by four rounds of sixteen
// steps.  Words are little-endian throughout, and the digest is A, B, C, D in
// that order.
#include "crypto/md5.h"

#include <cstring>

namespace qm {

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t Load32(const std::uint8_t *p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

inline void Store32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// The four auxiliary functions of the rounds.
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & z) | (y & ~z); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

// The additive constants: the integer part of 2^32 * |sin(i + 1)|.
constexpr std::uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Per-round rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void FoldBlock(std::uint32_t state[4], const std::uint8_t block[64])
{
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = Load32(block + 4 * i);

    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int k;
        switch (i / 16) {
        case 0: f = F(b, c, d); k = i; break;
        case 1: f = G(b, c, d); k = (5 * i + 1) % 16; break;
        case 2: f = H(b, c, d); k = (3 * i + 5) % 16; break;
        default: f = I(b, c, d); k = (7 * i) % 16; break;
        }
        const std::uint32_t sum = a + f + x[k] + kT[i];
        a = d;
        d = c;
        c = b;
        b = b + Rotl(sum, kShift[i / 16][i % 4]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void Md5(const std::uint8_t *data, std::size_t size, std::uint8_t digest[16])
{
    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

    std::size_t whole = size - size % 64;
    for (std::size_t at = 0; at < whole; at += 64)
        FoldBlock(state, data + at);

    // The tail, the 0x80 marker and the bit length fill one or two blocks.
    std::uint8_t tail[128] = {};
    const std::size_t rest = size - whole;
    if (rest != 0)
        std::memcpy(tail, data + whole, rest);
    tail[rest] = 0x80;
    const std::size_t tailSize = rest < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailSize - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    for (std::size_t at = 0; at < tailSize; at += 64)
        FoldBlock(state, tail + at);

    for (int i = 0; i < 4; ++i)
        Store32(digest + 4 * i, state[i]);
}

}  // namespace qm
