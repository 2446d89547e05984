// carrier_repair.h - mends a mutated carrier so that the library reads past
// its checks.
//
// A random change to a header block almost always breaks the block's CRC, and
// the library then stops at the first block: a fuzzer over whole carriers
// never gets to the fields, names, sizes and data behind.  RepairCarrier
// undoes exactly those checks and nothing else: it finds the signature record
// ("Quillmark!" within the first 81,920 bytes), sets its format and magic
// words right, and walks the header blocks from directly behind the record
// (position + 432 + packed size), writing into each block the CRC of its
// bytes 8 to 431.  With enciphered header blocks (flag bit 0 of the record,
// or `forceEnciphered`) each block is deciphered with single DES under the
// header password first and enciphered again afterwards.
//
// The walk stops at the end of the data, at a block whose packed size is
// negative (after mending that block), or after 256 blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qmfuzz {

constexpr std::size_t kSignatureSearch = 0x14000;
constexpr std::size_t kSignatureRecord = 34;
constexpr std::size_t kHeaderBlock = 432;

// Returns the number of header blocks mended; 0 when there is no signature.
std::size_t RepairCarrier(std::uint8_t *data, std::size_t size, const char *headerPassword,
                          bool forceEnciphered);

}  // namespace qmfuzz
