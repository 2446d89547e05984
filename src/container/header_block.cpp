// header_block.cpp - checking and reading header blocks during the walk.
#include "container/header_block.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "state/status.h"
#include "container/header_cipher.h"
#include "container/session.h"
#include "crypto/crc32.h"

namespace qm {

bool CheckHeaderBlockCrc(const std::uint8_t *block)
{
    const std::uint32_t crc = ~Crc32(0xFFFFFFFFu, block + kBlockMagicOffset,
                                     static_cast<std::uint16_t>(kHeaderBlockSize - kBlockMagicOffset));
    return crc == Load32(block + kBlockCrcOffset);
}

namespace {

// The walk ends on this block: it is damaged, and what follows it cannot be
// trusted to be where it says.
bool DamagedBlock(CarrierSession &session)
{
    session.status = QM_STATUS_BAD_HEADER;
    return false;
}

}  // namespace

bool ParseHeaderBlock(const std::uint8_t *block, HeaderFields &f)
{
    if (Load32(block + kBlockMagicOffset) != kHeaderMagic || !CheckHeaderBlockCrc(block))
        return false;

    // The stored name must end within 256 bytes, or it would not fit the
    // entry records' name fields.
    const char *storedName = reinterpret_cast<const char *>(block + kBlockNameOffset);
    const void *nul = std::memchr(storedName, 0, kNameBufferSize);
    if (!nul)
        return false;

    // A negative packed size would send the walk back onto this block or
    // make the next block overlap it.
    f.packedSize = LoadSigned32(block + kBlockPackedOffset);
    if (f.packedSize < 0)
        return false;

    f.name = storedName;
    f.nameLength = static_cast<std::size_t>(static_cast<const char *>(nul) - storedName);
    f.cipherMethod = LoadSigned32(block + kBlockCipherOffset);
    f.dataCrc = Load32(block + kBlockDataCrcOffset);
    f.unpackedSize = LoadSigned32(block + kBlockUnpackedOffset);
    f.dosDateTime = Load32(block + kBlockTimeOffset);
    f.attributes = Load32(block + kBlockAttributesOffset);
    f.wordA = Load32(block + kBlockWordAOffset);
    f.wordB = Load32(block + kBlockWordBOffset);
    return true;
}

bool ReadHeaderBlock(CarrierSession &session, HidFileItem *entry, char *nameBuffer)
{
    SessionState &archive = session.archive;
    if (archive.WalkPos < 0 || !session.carrier)
        return false;
    std::uint8_t raw[kHeaderBlockSize];
    if (!platform::Seek(session.carrier, archive.WalkPos))
        return false;
    // Nothing at all where a block would start is the normal end of the
    // archive; a part of a block is an archive cut short.
    const std::size_t got = platform::Read(session.carrier, raw, kHeaderBlockSize);
    if (got == 0)
        return false;
    if (got != kHeaderBlockSize)
        return DamagedBlock(session);

    // Every block of an archive is enciphered under the one header password
    // that opened it: a block that does not decipher, with the host asked or
    // not, is damaged.
    std::uint8_t plain[kHeaderBlockSize];
    const std::uint8_t *block = raw;
    if (archive.HeadersEnciphered == 1) {
        // The password that opened the archive stays when the host gives up
        // on this block: the question clears it for the answer, and a later
        // list build must still open the blocks it fits.
        char lastWorked[kPasswordSize];
        std::memcpy(lastWorked, archive.HeaderPassword, sizeof lastWorked);
        if (!DecipherHeaderBlock(session, plain, raw)) {
            std::memcpy(archive.HeaderPassword, lastWorked, sizeof lastWorked);
            return DamagedBlock(session);
        }
        block = plain;
    }

    entry->magic = Load32(block + kBlockMagicOffset);
    HeaderFields f;
    if (!ParseHeaderBlock(block, f))
        return DamagedBlock(session);
    const std::int32_t packedSize = f.packedSize;
    entry->valid = 1;
    std::memcpy(entry->name, f.name, f.nameLength + 1);
    std::memcpy(nameBuffer, f.name, f.nameLength + 1);
    entry->packedSize = packedSize;
    entry->unpackedSize = f.unpackedSize;
    entry->dosDateTime = f.dosDateTime;
    entry->attributes = f.attributes;
    entry->enciphered = f.cipherMethod != QM_CIPHER_NONE ? 1 : 0;
    entry->carriedWordB = f.wordB;
    entry->headerPos = archive.WalkPos;
    entry->cipherMethod = f.cipherMethod;
    entry->headerSize = static_cast<std::int32_t>(kHeaderBlockSize);
    entry->dataCrc = f.dataCrc;
    entry->carriedWordA = f.wordA;
    entry->nameLength = static_cast<std::int32_t>(f.nameLength);
    if (entry->block)
        std::memcpy(entry->block, block, kHeaderBlockSize);

    // Offsets are signed 32-bit: a successor beyond 2^31 - 1 cannot be in
    // the carrier, so this block is the last one.
    const std::int64_t next = static_cast<std::int64_t>(archive.WalkPos) +
                              static_cast<std::int64_t>(kHeaderBlockSize) + packedSize;
    archive.WalkPos = next > std::numeric_limits<std::int32_t>::max()
                          ? kWalkEnded
                          : static_cast<std::int32_t>(next);
    return true;
}

}  // namespace qm
