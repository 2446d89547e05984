// carrier_writer.cpp - builds carrier files and header blocks (see carrier_writer.h).
#include "packer/carrier_writer.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qmpack {

namespace {

void Put32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t *data, std::size_t size, std::uint32_t previous)
{
    // Slicing by eight: table k gives the CRC of a byte followed by k zeros.
    static const auto tables = [] {
        std::array<std::array<std::uint32_t, 256>, 8> t{};
        for (std::uint32_t b = 0; b < 256; ++b) {
            std::uint32_t crc = b;
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
            t[0][b] = crc;
        }
        for (std::uint32_t b = 0; b < 256; ++b)
            for (int k = 1; k < 8; ++k)
                t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
        return t;
    }();
    std::uint32_t crc = ~previous;
    for (; size >= 8; size -= 8, data += 8) {
        const std::uint32_t lo = crc ^ (data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24);
        crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^
              tables[4][lo >> 24] ^ tables[3][data[4]] ^ tables[2][data[5]] ^ tables[1][data[6]] ^
              tables[0][data[7]];
    }
    for (; size > 0; --size, ++data)
        crc = (crc >> 8) ^ tables[0][(crc ^ *data) & 0xFF];
    return ~crc;
}

EntrySpec StoredEntry(std::string name, const Bytes &data)
{
    EntrySpec e;
    e.name = std::move(name);
    e.stored = data;
    e.dataCrc = Crc32(data);
    e.unpackedSize = static_cast<std::int32_t>(data.size());
    return e;
}

EntrySpec ChainingOnlyEntry(std::string name, const Bytes &data)
{
    EntrySpec e = StoredEntry(std::move(name), data);
    e.cipherMethod = 2;
    e.stored = {1, 2, 3, 4, 5, 6, 7, 8};
    e.stored.insert(e.stored.end(), data.begin(), data.end());
    return e;
}

std::array<std::uint8_t, kHeaderBlockSize> BuildHeaderBlock(const EntrySpec &entry)
{
    std::array<std::uint8_t, kHeaderBlockSize> b{};
    std::uint8_t *p = b.data();
    Put32(p + 0, static_cast<std::uint32_t>(entry.cipherMethod));
    Put32(p + 8, entry.magic.value_or(kMagic));
    if (entry.nameWithoutNul) {
        std::memset(p + kNameFieldOffset, 'N', kNameFieldSize);
        std::memcpy(p + kNameFieldOffset, entry.name.data(),
                    std::min(entry.name.size(), kNameFieldSize));
    } else {
        std::memcpy(p + kNameFieldOffset, entry.name.data(),
                    std::min(entry.name.size(), kNameFieldSize - 1));
    }
    Put32(p + 340, entry.carriedWordA);
    Put32(p + 344, entry.dataCrc);
    Put32(p + 348, static_cast<std::uint32_t>(
                       entry.packedSize.value_or(static_cast<std::int32_t>(entry.stored.size()))));
    Put32(p + 352, static_cast<std::uint32_t>(entry.unpackedSize));
    Put32(p + 356, entry.dosDateTime);
    Put32(p + 360, entry.attributes);
    Put32(p + 364, entry.carriedWordB);
    Put32(p + 4, entry.headerCrc.value_or(Crc32(p + 8, kHeaderBlockSize - 8)));
    return b;
}

Bytes BuildSignatureRecord(const CarrierSpec &layout)
{
    Bytes r(kSignatureRecordSize, 0);
    std::memcpy(r.data(), "Quillmark!", 10);
    Put32(r.data() + 10, layout.formatWord);
    Put32(r.data() + 14, layout.magicWord);
    Put32(r.data() + 18, layout.flags);
    return r;
}

Bytes BuildCarrier(const CarrierSpec &layout)
{
    Bytes out = layout.prefix;
    const Bytes record = BuildSignatureRecord(layout);
    out.insert(out.end(), record.begin(), record.end());
    out.insert(out.end(), layout.gap.begin(), layout.gap.end());
    for (const EntrySpec &e : layout.entries) {
        auto block = BuildHeaderBlock(e);
        if (layout.encipherHeader)
            layout.encipherHeader(block.data());
        out.insert(out.end(), block.begin(), block.end());
        out.insert(out.end(), e.stored.begin(), e.stored.end());
    }
    out.insert(out.end(), layout.trailer.begin(), layout.trailer.end());
    return out;
}

bool WriteFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

Bytes ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace qmpack
