// append.cpp - reading an archive to add to (see append.h).
#include "qmpack/append.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace qmpack {

namespace {

std::uint32_t Get32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::size_t FindSignature(const Bytes &b)
{
    const std::size_t n = std::min<std::size_t>(b.size(), 0x14000);
    for (std::size_t i = 0; n >= 25 && i + 25 <= n; ++i)
        if (std::memcmp(b.data() + i, "Quillmark!", 10) == 0 && Get32(b.data() + i + 14) == kMagic &&
            Get32(b.data() + i + 10) == kFormatWord)
            return i;
    return std::string::npos;
}

ExistingArchive ReadForAppend(const std::string &path)
{
    ExistingArchive a;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        a.error = "does not exist (to add to it, it must)";
        return a;
    }
    a.bytes = ReadFile(path);
    const Bytes &b = a.bytes;
    const std::size_t at = FindSignature(b);
    if (at == std::string::npos || at + kSignatureRecordSize > b.size()) {
        a.error = "is not an archive: no signature in its first 81,920 bytes";
        return a;
    }
    if (Get32(b.data() + at + 18) & 1) {
        a.error = "has enciphered header blocks: entries cannot be added to it";
        return a;
    }
    std::size_t pos = at + kSignatureRecordSize;
    while (pos < b.size()) {
        const std::uint8_t *block = b.data() + pos;
        if (b.size() - pos < kHeaderBlockSize || Get32(block + 8) != kMagic ||
            Get32(block + 4) != Crc32(block + 8, kHeaderBlockSize - 8)) {
            a.error = "has a damaged header block or bytes that are not entries: entries cannot be added";
            return a;
        }
        const auto packed = static_cast<std::int32_t>(Get32(block + 348));
        const void *nul = std::memchr(block + kNameFieldOffset, 0, 256);
        if (packed < 0 || static_cast<std::uint64_t>(packed) > b.size() - pos - kHeaderBlockSize || !nul) {
            a.error = "has a damaged header block: entries cannot be added";
            return a;
        }
        a.names.emplace_back(reinterpret_cast<const char *>(block + kNameFieldOffset));
        pos += kHeaderBlockSize + static_cast<std::size_t>(packed);
    }
    if (a.names.empty())
        a.error = "holds no entry behind its signature";
    return a;
}

}  // namespace qmpack
