// crc32_paths.h - the two ways the data CRC-32 folds entry data.
//
// Both take and return the uncomplemented register, like Crc32Data, and give
// identical results on every length and alignment.  Crc32Data picks one; the
// tests call each directly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// Eight bytes per step through constant slice tables; runs on every
// processor, from any number of threads.
std::uint32_t Crc32Slices(std::uint32_t value, const unsigned char *p, std::size_t n);

// Sixteen bytes per step by carry-less multiplication, eight lanes in flight.
// Only to be called when CpuHasCarrylessMultiply() is true; finishes the last
// partial block through Crc32Slices.
std::uint32_t Crc32Folded(std::uint32_t value, const unsigned char *p, std::size_t n);

// The same with two lanes per 256-bit register, sixteen lanes in flight.
// Only when CpuHasWideCarrylessMultiply() is true.
std::uint32_t Crc32FoldedWide(std::uint32_t value, const unsigned char *p, std::size_t n);

// Below this length the set-up and the final reduction of the folding path
// cost more than they save.
constexpr std::size_t kFoldingMinimum = 64;

}  // namespace qm
