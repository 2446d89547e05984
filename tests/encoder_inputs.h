// encoder_inputs.h - a spread of inputs for the encoder and decoder round
// trips: text, binary, random, runs, repeats far back, tiny and larger than
// the 1 MiB window.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/carrier_writer.h"

namespace qmtest {

struct NamedInput {
    std::string name;
    qmpack::Bytes data;
};

inline std::uint32_t NextRandom(std::uint32_t &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

inline qmpack::Bytes RandomBytes(std::size_t size, std::uint32_t seed)
{
    qmpack::Bytes b(size);
    for (auto &x : b)
        x = static_cast<std::uint8_t>(NextRandom(seed) >> 24);
    return b;
}

// Words drawn with a skewed distribution: compresses like prose.
inline qmpack::Bytes TextBytes(std::size_t size, std::uint32_t seed)
{
    static const char *const kWords[] = {
        "the", "archive", "window", "of", "and", "a", "stream", "decoder", "table", "code",
        "length", "distance", "match", "literal", "block", "to", "in", "is", "that", "bits",
        "Quillmark", "carrier", "header", "entry", "password", "output", "file", "with"};
    qmpack::Bytes b;
    b.reserve(size + 16);
    while (b.size() < size) {
        const std::uint32_t r = NextRandom(seed);
        const std::size_t w = (r % 7 == 0) ? r % 28 : (r >> 8) % 8;
        for (const char *p = kWords[w]; *p; ++p)
            b.push_back(static_cast<std::uint8_t>(*p));
        b.push_back((r >> 20) % 11 == 0 ? '\n' : ' ');
    }
    b.resize(size);
    return b;
}

// Little-endian records with slowly changing fields: typical binary data.
inline qmpack::Bytes BinaryBytes(std::size_t size, std::uint32_t seed)
{
    qmpack::Bytes b;
    b.reserve(size + 16);
    std::uint32_t counter = 0;
    while (b.size() < size) {
        const std::uint32_t r = NextRandom(seed);
        const std::uint32_t fields[4] = {counter++, 0x00401000u + (counter & 0xFF) * 16, r & 0x3FF, 0};
        for (std::uint32_t f : fields)
            for (int k = 0; k < 4; ++k)
                b.push_back(static_cast<std::uint8_t>(f >> (8 * k)));
    }
    b.resize(size);
    return b;
}

// Runs of one byte of varying lengths, some very long.
inline qmpack::Bytes RunBytes(std::size_t size, std::uint32_t seed)
{
    qmpack::Bytes b;
    while (b.size() < size) {
        const std::uint32_t r = NextRandom(seed);
        const std::size_t run = (r % 5 == 0) ? 1000 + r % 5000 : 1 + r % 40;
        b.insert(b.end(), run, static_cast<std::uint8_t>(r >> 24));
    }
    b.resize(size);
    return b;
}

// Appends the first count bytes of piece.  (Sized first and copied: GCC 12
// at -O3 sees out-of-bounds copies in a chain of vector inserts that are not
// there.)
inline void AppendBytes(qmpack::Bytes &out, const qmpack::Bytes &piece, std::size_t count)
{
    const std::size_t at = out.size();
    out.resize(at + count);
    std::copy_n(piece.begin(), count, out.begin() + static_cast<std::ptrdiff_t>(at));
}

// Random blocks that recur far back: distances past 0x2000, 0x40000 and up to
// nearly the whole window.
inline qmpack::Bytes FarRepeatBytes(std::uint32_t seed)
{
    const qmpack::Bytes a = RandomBytes(0x3000, seed);
    const qmpack::Bytes b = RandomBytes(0x48000, seed + 1);
    const qmpack::Bytes c = RandomBytes(0xF0000, seed + 2);
    qmpack::Bytes out;
    out.reserve(3 * a.size() + b.size() + c.size() + 0x18000);
    AppendBytes(out, a, a.size());
    AppendBytes(out, b, b.size());
    AppendBytes(out, a, a.size());  // a again, 0x48000 + 0x3000 back
    AppendBytes(out, c, c.size());
    AppendBytes(out, b, 0x8000);    // b again, ~0x133000 back: too far
    AppendBytes(out, c, 0x10000);   // c again, 0xF8000 + ... back
    AppendBytes(out, a, a.size());
    return out;
}

// A random block, then the same block again: every match is nearly a whole
// window back.
inline qmpack::Bytes WindowRepeatBytes(std::size_t block, std::uint32_t seed)
{
    const qmpack::Bytes once = RandomBytes(block, seed);
    qmpack::Bytes out;
    out.reserve(2 * block);
    AppendBytes(out, once, block);
    AppendBytes(out, once, block);
    return out;
}

// Text, binary and random interleaved in pieces.
inline qmpack::Bytes MixedBytes(std::size_t size, std::uint32_t seed)
{
    qmpack::Bytes out;
    out.reserve(size);
    for (std::uint32_t k = 0; out.size() < size; ++k) {
        const std::size_t piece = 20000 + NextRandom(seed) % 200000;
        qmpack::Bytes p = k % 3 == 0   ? TextBytes(piece, seed + k)
                          : k % 3 == 1 ? BinaryBytes(piece, seed + k)
                                       : (k % 6 == 2 ? RandomBytes(piece / 8, seed + k)
                                                     : RunBytes(piece, seed + k));
        out.insert(out.end(), p.begin(), p.end());
    }
    out.resize(size);
    return out;
}

inline std::vector<NamedInput> RoundTripInputs()
{
    std::vector<NamedInput> v;
    v.push_back({"empty", {}});
    v.push_back({"one", {0x41}});
    v.push_back({"two", {0x00, 0xFF}});
    v.push_back({"text", TextBytes(200000, 1)});
    v.push_back({"binary", BinaryBytes(150000, 2)});
    v.push_back({"random", RandomBytes(70000, 3)});
    v.push_back({"runs", RunBytes(300000, 4)});
    v.push_back({"far-repeats", FarRepeatBytes(5)});
    v.push_back({"window-repeat", WindowRepeatBytes(0x100000 - 77, 6)});
    v.push_back({"window-plus", MixedBytes(0x100000 + 1000, 7)});
    v.push_back({"three-windows", MixedBytes(3 * 0x100000 + 12345, 8)});
    return v;
}

}  // namespace qmtest
