// reference_decoder.h - a second, deliberately slow decoder of the stream
// format, for differential tests and the differential fuzz target only.  It
// is never linked into the library.
//
// It follows the decoding steps one by one in the plainest form: bits taken
// one at a time, a symbol's code length found by comparing the next 16 bits
// with the code limits of each length in turn, matches copied byte by byte
// through a 1 MiB window, the audio predictor written out as its formulas.
// Nothing in it is shared with the library's decoder.
//
// What it produces is what the library must produce, byte for byte, for any
// input, including damaged ones:
//   - never more than the unpacked size (a match crossing it is cut);
//   - once the packed data is used up, the stream ends at the first step
//     that would start with no real bit left;
//   - the one step that starts on a real bit and runs on past the data reads
//     the bytes the library's 8192-byte input buffer still holds there (what
//     earlier fills of the same entry left, zeros before that).  The library
//     keeps its buffer between entries, so a caller that compares must clear
//     that buffer before each decode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qmtest {

struct ReferenceResult {
    std::vector<std::uint8_t> output;
    // How many bytes of output came from real bits of the packed data only.
    // Equal to output.size() unless the stream is cut short or damaged and
    // its last step read past the end of the data.
    std::size_t fromRealBits = 0;
};

// Decodes packed (the entry's whole packed data, not enciphered) into at most
// unpackedSize bytes.  A size of 2^31 or more is a negative size field, which
// decodes to nothing.
ReferenceResult ReferenceDecodeDetailed(const std::vector<std::uint8_t> &packed, std::uint32_t unpackedSize);

inline std::vector<std::uint8_t> ReferenceDecode(const std::vector<std::uint8_t> &packed,
                                                 std::uint32_t unpackedSize)
{
    return ReferenceDecodeDetailed(packed, unpackedSize).output;
}

}  // namespace qmtest
