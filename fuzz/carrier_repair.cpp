// carrier_repair.cpp - mends the signature record and the header CRCs.
#include "carrier_repair.h"

#include <cstring>

#include "crypto/cipher.h"
#include "crypto/des.h"
#include "packer/carrier_writer.h"

namespace qmfuzz {

namespace {

constexpr std::uint8_t kSignature[10] = {'Q', 'u', 'i', 'l', 'l', 'm', 'a', 'r', 'k', '!'};
constexpr std::size_t kMaxBlocks = 256;

std::uint32_t Load32(const std::uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
}

void Store32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Position of the signature record, or size when there is none.
std::size_t FindSignature(const std::uint8_t *data, std::size_t size)
{
    const std::size_t limit = size < kSignatureSearch ? size : kSignatureSearch;
    for (std::size_t i = 0; i + kSignatureRecord <= limit; ++i)
        if (std::memcmp(data + i, kSignature, sizeof kSignature) == 0)
            return i;
    return size;
}

}  // namespace

std::size_t RepairCarrier(std::uint8_t *data, std::size_t size, const char *headerPassword,
                          bool forceEnciphered)
{
    const std::size_t record = FindSignature(data, size);
    if (record == size)
        return 0;
    Store32(data + record + 10, qmpack::kFormatWord);
    Store32(data + record + 14, qmpack::kMagic);
    const bool enciphered = forceEnciphered || (Load32(data + record + 18) & 1) != 0;

    qm::DesSchedule decipher{}, encipher{};
    if (enciphered) {
        std::uint8_t key[16];
        qm::PasswordDigest(headerPassword, key);
        qm::BuildDesSchedule(key, qm::DesDirection::Decrypt, decipher);
        qm::BuildDesSchedule(key, qm::DesDirection::Encrypt, encipher);
    }

    std::size_t pos = record + kSignatureRecord, mended = 0;
    while (mended < kMaxBlocks && pos + kHeaderBlock <= size) {
        std::uint8_t block[kHeaderBlock];
        std::memcpy(block, data + pos, kHeaderBlock);
        if (enciphered)
            qm::DesBlocks(block, kHeaderBlock / 8, decipher);
        Store32(block + 4, qmpack::Crc32(block + 8, kHeaderBlock - 8));
        const auto packed = static_cast<std::int32_t>(Load32(block + 348));
        if (enciphered)
            qm::DesBlocks(block, kHeaderBlock / 8, encipher);
        std::memcpy(data + pos, block, kHeaderBlock);
        ++mended;
        if (packed < 0)
            break;
        pos += kHeaderBlock + static_cast<std::size_t>(packed);
    }
    return mended;
}

}  // namespace qmfuzz
