// locator.cpp - the signature search and the first-block scan.
//
// Both read at most 81,920 bytes into one buffer.  The signature search tests
// every offset up to n - 25 for the string, the magic word and the format
// word; the first offset that passes all three wins.  The first-block scan
// reads from just behind the record and takes the first offset whose 424
// bytes carry a matching header CRC; with enciphered blocks only the block
// directly behind the record is tried, after deciphering it.  When the scan
// passes over bytes that were a header block (see LooksLikeALostBlock) to a
// later block, the first block was damaged: the session remembers it, so
// that list builds report it instead of dropping the entry in silence.
#include "container/locator.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "container/block_scan.h"
#include "container/header_block.h"
#include "container/header_cipher.h"
#include "container/session.h"

namespace qm {

namespace {

constexpr char kSignatureString[kSignatureStringSize] = {'Q', 'u', 'i', 'l', 'l',
                                                         'm', 'a', 'r', 'k', '!'};

// Reads up to `want` bytes from the current position into a fresh buffer;
// null when the buffer cannot be had.
std::unique_ptr<std::uint8_t[]> ReadWindow(platform::File *stream, std::size_t want,
                                           std::size_t *got)
{
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kLocatorWindow]);
    if (!buffer)
        return nullptr;
    *got = platform::Read(stream, buffer.get(), want);
    return buffer;
}

bool IsSignatureAt(const std::uint8_t *p)
{
    return std::memcmp(p, kSignatureString, kSignatureStringSize) == 0 &&
           Load32(p + 14) == kSignatureMagic && Load32(p + 10) == kFormatWord;
}

// A gap behind the record is allowed, but bytes behind it were a header
// block once when they lead to the block found at offset j: the word at a
// block's packed-size place that points exactly at j.  Directly behind the
// record, a block's magic in its place says so too, so that one flipped byte
// in a first block without a gap is always caught.  (A flipped packed size
// behind a gap cannot be told from the gap.)  A gap of other bytes matches
// neither but by a chance of about one in 2^32 for each offset.
}  // namespace

bool LooksLikeALostBlock(const std::uint8_t *bytes, std::size_t got, std::int64_t j)
{
    if (got < kHeaderBlockSize)
        return false;
    if (Load32(bytes + kBlockMagicOffset) == kHeaderMagic)
        return true;
    for (std::int64_t k = 0; k + static_cast<std::int64_t>(kHeaderBlockSize) <= j; ++k) {
        const std::uint8_t *at = bytes + k;
        const std::int64_t packed = LoadSigned32(at + kBlockPackedOffset);
        // A size of 0 is what a gap of zero bytes holds everywhere: only
        // with the magic in place does it mark an empty entry's block.
        if (k + static_cast<std::int64_t>(kHeaderBlockSize) + packed == j &&
            (packed > 0 || Load32(at + kBlockMagicOffset) == kHeaderMagic))
            return true;
    }
    return false;
}

std::int64_t FindSignatureIn(const std::uint8_t *bytes, std::size_t n, bool *enciphered)
{
    // The last offset tested is n - 25: the string, both words and the flags
    // word (S + 18 .. S + 21) then lie inside what was read.
    for (std::size_t i = 0; i + 25 <= n; ++i) {
        const std::uint8_t *p = bytes + i;
        if (!IsSignatureAt(p))
            continue;
        *enciphered = (Load32(p + 18) & kFlagHeadersEnciphered) != 0;
        return static_cast<std::int64_t>(i);
    }
    return -1;
}

bool LocateSignature(CarrierSession &session, platform::File *stream)
{
    std::int64_t length = 0;
    if (!platform::Seek(stream, 0) || !platform::Length(stream, &length))
        return false;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(length, kLocatorWindow));
    std::size_t n = 0;
    const auto buffer = ReadWindow(stream, want, &n);
    if (!buffer)
        return false;

    bool enciphered = false;
    const std::int64_t i = FindSignatureIn(buffer.get(), n, &enciphered);
    if (i < 0)
        return false;
    session.archive.ArchiveBase = static_cast<std::int32_t>(i + kSignatureStringSize);
    if (enciphered)
        session.archive.HeadersEnciphered = 1;
    return true;
}

bool FindFirstBlock(CarrierSession &session, platform::File *stream)
{
    const std::int64_t start =
        static_cast<std::int64_t>(session.archive.ArchiveBase) + (kSignatureRecordSize - kSignatureStringSize);
    std::int64_t length = 0;
    if (!platform::Seek(stream, start) || !platform::Length(stream, &length))
        return false;
    // The bound is the file's whole length (capped), not what lies behind the
    // record; what was actually read bounds the scan as well.
    const std::int64_t n = std::min<std::int64_t>(length, kLocatorWindow);
    std::size_t got = 0;
    const auto raw = ReadWindow(stream, static_cast<std::size_t>(n), &got);
    if (!raw)
        return false;

    if (session.archive.HeadersEnciphered == 1) {
        std::uint8_t plain[kHeaderBlockSize];
        if (got < kHeaderBlockSize || n <= static_cast<std::int64_t>(kHeaderBlockSize))
            return false;
        if (!DecipherHeaderBlock(session, plain, raw.get()))
            return false;
        session.archive.FirstBlockPos = static_cast<std::int32_t>(start);
        return true;
    }

    // Offsets j < n - 432 whose block lies within what was read.
    const std::int64_t bound = std::min<std::int64_t>(static_cast<std::int64_t>(got), n - 1);
    if (bound <= 0)
        return false;
    const std::int64_t j = ScanForHeaderBlock(raw.get(), static_cast<std::size_t>(bound));
    if (j < 0)
        return false;
    session.archive.FirstBlockPos = static_cast<std::int32_t>(start + j);
    session.archive.FirstBlockDamaged = j > 0 && LooksLikeALostBlock(raw.get(), got, j);
    return true;
}

}  // namespace qm
