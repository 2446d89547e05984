// prefix_code.h - the encoder's bit output and its canonical prefix codes.
//
// Bits go out most significant first.  A code is built from symbol counts:
// Huffman lengths of at most 15 bits (counts are halved until they fit; a
// lone symbol gets length 1), then canonical codes, shorter first and within
// one length by ascending symbol, as the decoder rebuilds them.
#pragma once

#include <cstdint>
#include <vector>

#include "packer/carrier_writer.h"

namespace qmpack {

inline constexpr int kMaxCodeLength = 15;

// Writes bits most significant first; without an output it only counts them
// (to weigh one way of coding a block against another).
class BitWriter {
public:
    explicit BitWriter(Bytes *out) : out_(out) {}
    void Put(std::uint32_t value, int bits)
    {
        if (bits == 0)
            return;
        total_ += static_cast<std::uint64_t>(bits);
        if (!out_)
            return;
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            out_->push_back(static_cast<std::uint8_t>(acc_ >> count_));
        }
    }
    // Pads the last byte with zero bits.
    void Finish()
    {
        if (out_ && count_ > 0)
            out_->push_back(static_cast<std::uint8_t>(acc_ << (8 - count_)));
        count_ = 0;
    }
    std::uint64_t Total() const { return total_; }

private:
    Bytes *out_;
    std::uint64_t acc_ = 0;
    std::uint64_t total_ = 0;
    int count_ = 0;
};

// Huffman code lengths of at most kMaxCodeLength bits; a lone symbol gets 1.
std::vector<std::uint8_t> CodeLengths(std::vector<std::uint32_t> counts);

// Canonical codes: shorter first, within one length by ascending symbol.
std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t> &lengths);

struct Code {
    std::vector<std::uint8_t> lengths;
    std::vector<std::uint32_t> codes;

    explicit Code(const std::vector<std::uint32_t> &counts)
        : lengths(CodeLengths(counts)), codes(CanonicalCodes(lengths)) {}
    void Put(BitWriter &w, std::size_t symbol) const { w.Put(codes[symbol], lengths[symbol]); }
};

}  // namespace qmpack
