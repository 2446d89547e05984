// carrier_writer.h - writes carrier files: the packer's container layer.
//
// A carrier file is any bytes, then a 34-byte signature record ("Quillmark!",
// format word 0x1541524E, magic 77, flags), an optional gap, then for each
// entry a 432-byte header block followed by the entry's stored bytes.  The
// writer takes the stored bytes as they are: compressing and enciphering them
// is the caller's business (see the encoder and the packer's ciphers).  Every
// field can be damaged on request, so tests can build broken archives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qmpack {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFormatWord = 0x1541524E;
constexpr std::uint32_t kMagic = 77;
constexpr std::size_t kSignatureRecordSize = 34;
constexpr std::size_t kHeaderBlockSize = 432;
constexpr std::size_t kNameFieldOffset = 76;
constexpr std::size_t kNameFieldSize = 264;

struct EntrySpec {
    std::string name;                 // stored name, OEM code page, backslashes
    Bytes stored;                     // the bytes written behind the header block
    std::int32_t cipherMethod = -1;   // -1 none, 0 DES, 1 triple DES, 2 chaining value only
    std::uint32_t dataCrc = 0;        // CRC-32 of the unpacked data
    std::int32_t unpackedSize = 0;
    std::uint32_t dosDateTime = 0x546A584A;
    std::uint32_t attributes = 0x20;
    std::uint32_t carriedWordA = 0;   // block offset 340
    std::uint32_t carriedWordB = 0;   // block offset 364

    // Damage knobs.
    std::optional<std::int32_t> packedSize;   // default: stored.size()
    std::optional<std::uint32_t> magic;       // default: 77
    std::optional<std::uint32_t> headerCrc;   // default: the right CRC
    bool nameWithoutNul = false;              // fill the whole name field, no NUL
};

// A plain entry holding data as it is (stored, not enciphered).
EntrySpec StoredEntry(std::string name, const Bytes &data);

// An entry of cipher method 2: its data behind the 8-byte chaining value
// 1, 2, ... 8 and otherwise unchanged.  Enciphered as far as the library is
// concerned, so a CRC mismatch there reads as a wrong password.
EntrySpec ChainingOnlyEntry(std::string name, const Bytes &data);

struct CarrierSpec {
    Bytes prefix;                             // bytes before the signature record
    std::uint32_t formatWord = kFormatWord;
    std::uint32_t magicWord = kMagic;
    std::uint32_t flags = 0;                  // bit 0: header blocks enciphered
    Bytes gap;                                // bytes between the record and block 1
    std::vector<EntrySpec> entries;
    Bytes trailer;                            // bytes after the last entry

    // Enciphers one finished 432-byte header block in place (for archives
    // whose header blocks are enciphered); empty: blocks stay plain.
    std::function<void(std::uint8_t *block)> encipherHeader;
};

std::array<std::uint8_t, kHeaderBlockSize> BuildHeaderBlock(const EntrySpec &entry);
Bytes BuildSignatureRecord(const CarrierSpec &layout);
Bytes BuildCarrier(const CarrierSpec &layout);

// The standard CRC-32 (initial and final complement), the packer's own.
// `previous` is the CRC of the bytes before, so a CRC can be taken in pieces.
std::uint32_t Crc32(const std::uint8_t *data, std::size_t size, std::uint32_t previous = 0);
inline std::uint32_t Crc32(const Bytes &data) { return Crc32(data.data(), data.size()); }

bool WriteFile(const std::string &path, const Bytes &bytes);
Bytes ReadFile(const std::string &path);

}  // namespace qmpack
