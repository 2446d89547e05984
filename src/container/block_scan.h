// block_scan.h - finding a header block by its CRC in a run of bytes.
//
// Header block 1 of a plain archive may begin anywhere behind the signature
// record; it is recognised by the CRC-32 of its bytes 8..431 matching the
// word at its offset 4.  Testing every offset afresh costs 424 CRC steps per
// offset; the scan instead slides the CRC over the bytes, one byte in and one
// byte out per offset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// The first offset j with j + 432 <= size whose block passes
// CheckHeaderBlockCrc, or -1 when there is none.
std::int64_t ScanForHeaderBlock(const std::uint8_t *data, std::size_t size);

}  // namespace qm
