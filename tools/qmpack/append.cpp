// append.cpp - reading an archive to add to or replace (see append.h).
#include "qmpack/append.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qmpack {

namespace {

constexpr std::size_t kSignatureArea = 0x14000;

std::uint32_t Get32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// size bytes at offset, all of them or false.
bool ReadAt(int fd, std::uint64_t offset, std::uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = pread(fd, data, size, static_cast<off_t>(offset));
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// The file's first bytes, where the library looks for the signature.
Bytes SignatureArea(int fd, std::uint64_t fileSize)
{
    Bytes head(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kSignatureArea)));
    if (!ReadAt(fd, 0, head.data(), head.size()))
        head.clear();
    return head;
}

}  // namespace

std::size_t FindSignature(const Bytes &b)
{
    const std::size_t n = std::min<std::size_t>(b.size(), kSignatureArea);
    for (std::size_t i = 0; n >= 25 && i + 25 <= n; ++i)
        if (std::memcmp(b.data() + i, "Quillmark!", 10) == 0 && Get32(b.data() + i + 14) == kMagic &&
            Get32(b.data() + i + 10) == kFormatWord)
            return i;
    return std::string::npos;
}

OutputPathHolds LookAtOutputPath(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? OutputPathHolds::Nothing : OutputPathHolds::Unreadable;
    if (S_ISDIR(st.st_mode))
        return OutputPathHolds::Folder;
    if (!S_ISREG(st.st_mode))
        return OutputPathHolds::OtherFile;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return OutputPathHolds::Unreadable;
    const Bytes head = SignatureArea(fd, static_cast<std::uint64_t>(st.st_size));
    close(fd);
    return FindSignature(head) != std::string::npos ? OutputPathHolds::Archive : OutputPathHolds::OtherFile;
}

ExistingArchive ReadForAppend(const std::string &path)
{
    ExistingArchive a;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        a.error = "does not exist (to add to it, it must)";
        return a;
    }
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        a.error = std::string("cannot be read: ") + std::strerror(errno);
        return a;
    }
    a.size = static_cast<std::uint64_t>(st.st_size);
    auto refuse = [&](const char *why) {
        close(fd);
        a.error = why;
        a.names.clear();
        return a;
    };
    const Bytes head = SignatureArea(fd, a.size);
    const std::size_t at = FindSignature(head);
    if (at == std::string::npos || at + kSignatureRecordSize > a.size)
        return refuse("is not an archive: no signature in its first 81,920 bytes");
    if (Get32(head.data() + at + 18) & 1)
        return refuse("has enciphered header blocks: entries cannot be added to it");
    std::uint64_t pos = at + kSignatureRecordSize;
    std::uint8_t block[kHeaderBlockSize];
    while (pos < a.size) {
        if (a.size - pos < kHeaderBlockSize || !ReadAt(fd, pos, block, kHeaderBlockSize) ||
            Get32(block + 8) != kMagic || Get32(block + 4) != Crc32(block + 8, kHeaderBlockSize - 8))
            return refuse("has a damaged header block or bytes that are not entries: entries cannot be added");
        const auto packed = static_cast<std::int32_t>(Get32(block + 348));
        const void *nul = std::memchr(block + kNameFieldOffset, 0, 256);
        if (packed < 0 || static_cast<std::uint64_t>(packed) > a.size - pos - kHeaderBlockSize || !nul)
            return refuse("has a damaged header block: entries cannot be added");
        a.names.emplace_back(reinterpret_cast<const char *>(block + kNameFieldOffset));
        pos += kHeaderBlockSize + static_cast<std::uint64_t>(packed);
    }
    if (a.names.empty())
        return refuse("holds no entry behind its signature");
    close(fd);
    return a;
}

}  // namespace qmpack
