// header_block.h - the 432-byte header block and the walk over the chain.
//
// Behind the signature record lies a chain of header blocks, each followed
// by its entry's data; the next block begins at this block's position + 432 +
// its packed size.  All values are little-endian.
//
//   offset  size  field
//        0     4  cipher method of the entry's data (-1 none)
//        4     4  header CRC: standard CRC-32 of bytes 8..431
//        8     4  magic, 77
//       76   264  stored name, OEM code page, NUL-terminated, <= 255 chars
//      340     4  carried word A (not interpreted)
//      344     4  data CRC: standard CRC-32 of the unpacked data
//      348     4  packed size (signed)
//      352     4  unpacked size (signed)
//      356     4  DOS date (high 16 bits) and time (low 16 bits), local time
//      360     4  Windows attribute bits
//      364     4  carried word B (not interpreted)
//
// The walk reads one block at WalkPos per call.  It only ever moves forward:
// a block that would send it back (negative packed size), a name without its
// NUL, a wrong magic or a wrong header CRC ends it with status 9964, and a
// next position beyond the signed 32-bit range ends it as the end of the file
// does.  When the session's header blocks are enciphered, each is deciphered
// first (header_cipher.h); one that does not decipher ends the walk with the
// status the deciphering left (none, or 9961 when the host gave up), and one
// that does goes through the same checks as a plain block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quillmark.h"

namespace qm {

struct CarrierSession;

constexpr std::size_t kHeaderBlockSize = 432;
constexpr std::uint32_t kHeaderMagic = 77;

constexpr std::size_t kBlockCipherOffset = 0;
constexpr std::size_t kBlockCrcOffset = 4;
constexpr std::size_t kBlockMagicOffset = 8;
constexpr std::size_t kBlockNameOffset = 76;
constexpr std::size_t kBlockWordAOffset = 340;
constexpr std::size_t kBlockDataCrcOffset = 344;
constexpr std::size_t kBlockPackedOffset = 348;
constexpr std::size_t kBlockUnpackedOffset = 352;
constexpr std::size_t kBlockTimeOffset = 356;
constexpr std::size_t kBlockAttributesOffset = 360;
constexpr std::size_t kBlockWordBOffset = 364;

// A stored name must end within the first 256 bytes of its field, so that it
// fits the 256-byte name fields of the entry records.
constexpr std::size_t kNameBufferSize = 256;

// WalkPos after a block whose successor would lie beyond 2^31 - 1: the next
// read ends the walk without a status.
constexpr std::int32_t kWalkEnded = -1;

inline std::uint32_t Load32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::int32_t LoadSigned32(const std::uint8_t *p)
{
    return static_cast<std::int32_t>(Load32(p));
}

// True when the standard CRC-32 of bytes 8..431 equals the block's header CRC.
bool CheckHeaderBlockCrc(const std::uint8_t *block);

// The fields of one plain (deciphered) header block.
struct HeaderFields {
    std::int32_t cipherMethod;
    std::uint32_t dataCrc;
    std::int32_t packedSize;    // 0 or more
    std::int32_t unpackedSize;  // as stored: may be negative in a damaged block
    std::uint32_t dosDateTime;
    std::uint32_t attributes;
    std::uint32_t wordA;
    std::uint32_t wordB;
    const char *name;           // inside the block, NUL-terminated
    std::size_t nameLength;     // below kNameBufferSize
};

// Checks a plain block (magic, header CRC, the name's end within 256 bytes,
// a packed size of 0 or more) and takes its fields; false when it is damaged.
bool ParseHeaderBlock(const std::uint8_t *block, HeaderFields &fields);

// Reads the block at the session's WalkPos from its carrier into the entry and
// copies the stored name into nameBuffer (256 bytes).  When entry->block is
// not null the whole (deciphered) block is copied there too.  Fields of the
// entry that a block does not set are left as the caller cleared them.
// False at the end of the archive (nothing at all to read there: no status)
// or on a damaged block (9964): a part of a block cut short, a block that
// does not decipher, a wrong magic or CRC, a name without its end, a
// negative packed size.
bool ReadHeaderBlock(CarrierSession &session, HidFileItem *entry, char *nameBuffer);

}  // namespace qm
