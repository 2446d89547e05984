// locator.h - finding the archive inside its carrier file.
//
// Within the carrier's first 81,920 bytes a 34-byte signature record
// announces the archive:
//
//   offset  size  field
//        0    10  "Quillmark!" (no terminator)
//       10     4  format word 0x1541524E
//       14     4  magic word 77
//       18     4  flags; bit 0: the header blocks are enciphered
//       22    12  unused
//
// Behind it, after an optional gap when the blocks are plain, lies header
// block 1, recognised by its header CRC.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h"

namespace qm {
struct CarrierSession;
}

namespace qm {

constexpr std::size_t kLocatorWindow = 0x14000;  // 81,920 bytes searched at most
constexpr std::size_t kSignatureRecordSize = 34;
constexpr std::size_t kSignatureStringSize = 10;
constexpr std::uint32_t kFormatWord = 0x1541524E;
constexpr std::uint32_t kSignatureMagic = 77;
constexpr std::uint32_t kFlagHeadersEnciphered = 1;

// The offset of the first signature record among n bytes, or -1; sets
// *enciphered from its flags.
std::int64_t FindSignatureIn(const std::uint8_t *bytes, std::size_t n, bool *enciphered);

// True when the `got` bytes behind the record, up to the header block found
// at offset j among them, were a header block once (the first block, lost to
// damage).
bool LooksLikeALostBlock(const std::uint8_t *bytes, std::size_t got, std::int64_t j);

// Finds the first signature record; sets the session's ArchiveBase (S + 10)
// and, when the record's flag says so, HeadersEnciphered.
bool LocateSignature(CarrierSession &session, platform::File *stream);

// Finds header block 1 behind the record; sets the session's FirstBlockPos
// (and asks for the header password when the blocks are enciphered).
bool FindFirstBlock(CarrierSession &session, platform::File *stream);

}  // namespace qm
