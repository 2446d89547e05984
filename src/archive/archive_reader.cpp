// archive_reader.cpp - opening an archive and walking its header blocks.
#include "archive/archive_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "container/block_scan.h"
#include "container/header_block.h"
#include "container/locator.h"
#include "platform/windows_1252.h"
#include "platform/code_page.h"

namespace qm {

namespace {

constexpr int kHeaderCipher = 0;  // header blocks: single DES, block by block
constexpr std::size_t kAnswerSize = 256;  // a password buffer, its NUL included

// The stored name as UTF-8 with slashes: OEM code page to Windows-1252 as
// the exports convert it, then to UTF-8.
std::string DisplayName(const char *stored, std::size_t length)
{
    std::string ansi(stored, length);
    platform::ConvertOemToAnsi(ansi.data());
    ansi.resize(std::strlen(ansi.c_str()));
    std::string utf8 = platform::Utf8From1252(ansi);
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return utf8;
}

}  // namespace

ArchiveReader::ArchiveReader(std::unique_ptr<ByteSource> source, ReaderOptions options,
                             std::string archiveName)
    : source_(std::move(source)), options_(std::move(options)), archiveName_(std::move(archiveName))
{
    data_.reader = this;
}

int ArchiveReader::Fail(int code, std::string message, int systemError)
{
    message_ = std::move(message);
    systemError_ = systemError;
    return code;
}

int ArchiveReader::ReadRaw(std::uint64_t offset, void *buffer, std::size_t count, std::size_t *got)
{
    int error = 0;
    const std::int64_t n = source_->ReadAt(offset, buffer, count, &error);
    if (n < 0 || static_cast<std::uint64_t>(n) > count)
        return Fail(QM_E_IO, "cannot read the archive at offset " + std::to_string(offset), error);
    *got = static_cast<std::size_t>(n);
    return 0;
}

int ArchiveReader::AskPassword(int kind, const std::string &nameUtf8, std::string *answer1252)
{
    if (!options_.callback)
        return 0;
    char answer[kAnswerSize] = {};
    const int result = options_.callback(options_.user, kind, nameUtf8.c_str(), answer, sizeof answer);
    // The host was given 256 bytes: whatever it wrote, the answer ends there.
    answer[sizeof answer - 1] = '\0';
    if (result == 0) {
        passwordDeclined_ = true;
        return 0;
    }
    const auto converted = platform::Utf8To1252(answer);
    // A password with characters the archive's code page lacks cannot fit;
    // it is tried as nothing at all.
    *answer1252 = converted ? *converted : std::string();
    return 1;
}

bool ArchiveReader::DecipherBlock(std::uint8_t *plain, const std::uint8_t *raw) const
{
    // Single DES, each 8-byte block on its own, under the schedule built
    // once for the header password.
    std::memcpy(plain, raw, kHeaderBlockSize);
    DesBlocks(plain, kHeaderBlockSize / 8, headerKey_.primary);
    return CheckHeaderBlockCrc(plain);
}

// Finds the header password that deciphers block 1, asking the host while
// it does not.
int ArchiveReader::UnlockHeaders(const std::uint8_t *raw)
{
    std::uint8_t plain[kHeaderBlockSize];
    for (;;) {
        if (DecipherBlock(plain, raw))
            return 0;
        const bool hadPassword = !options_.headerPassword.empty();
        std::string answer;
        if (AskPassword(QM_PASSWORD_HEADER, archiveName_, &answer) == 0) {
            if (!hadPassword && !options_.callback)
                return Fail(QM_E_NEED_PASSWORD, "the header blocks of " + archiveName_ +
                                                    " are enciphered and no header password was given");
            return Fail(QM_E_BAD_PASSWORD, "the header password does not open " + archiveName_);
        }
        options_.headerPassword = answer;
        headerKey_.SelectKey(options_.headerPassword.c_str(), kHeaderCipher);
    }
}

int ArchiveReader::Open()
{
    const std::uint64_t length = source_->Length();
    const std::size_t window = static_cast<std::size_t>(std::min<std::uint64_t>(length, kLocatorWindow));
    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[kLocatorWindow]);
    if (!bytes)
        return Fail(QM_E_NO_MEMORY, "out of memory");
    std::size_t got = 0;
    if (const int r = ReadRaw(0, bytes.get(), window, &got); r < 0)
        return r;
    bool enciphered = false;
    const std::int64_t signature = FindSignatureIn(bytes.get(), got, &enciphered);
    if (signature < 0)
        return Fail(QM_E_NOT_ARCHIVE, archiveName_ + " holds no archive signature in its first 81,920 bytes");
    headersEnciphered_ = enciphered;

    // Header block 1 lies behind the record, found among as many bytes as
    // the file's length allows (capped at the window).
    const std::uint64_t start = static_cast<std::uint64_t>(signature) + kSignatureRecordSize;
    if (const int r = ReadRaw(start, bytes.get(), window, &got); r < 0)
        return r;
    const auto n = static_cast<std::int64_t>(window);
    if (headersEnciphered_) {
        if (got < kHeaderBlockSize || n <= static_cast<std::int64_t>(kHeaderBlockSize))
            return Fail(QM_E_NOT_ARCHIVE, archiveName_ + " ends before its first header block");
        headerKey_.SelectKey(options_.headerPassword.c_str(), kHeaderCipher);
        if (const int r = UnlockHeaders(bytes.get()); r < 0)
            return r;
        firstBlockPos_ = static_cast<std::int64_t>(start);
    } else {
        const std::int64_t bound = std::min<std::int64_t>(static_cast<std::int64_t>(got), n - 1);
        const std::int64_t j = bound > 0 ? ScanForHeaderBlock(bytes.get(), static_cast<std::size_t>(bound)) : -1;
        if (j < 0)
            return Fail(QM_E_NOT_ARCHIVE, archiveName_ + " holds no header block behind its signature");
        firstBlockPos_ = static_cast<std::int64_t>(start) + j;
        firstBlockLost_ = j > 0 && LooksLikeALostBlock(bytes.get(), got, j);
    }
    walkPos_ = firstBlockPos_;
    return 0;
}

int ArchiveReader::ReadBlock(std::uint64_t pos, EntryRecord &entry, std::int64_t *next)
{
    std::uint8_t raw[kHeaderBlockSize];
    std::size_t got = 0;
    if (const int r = ReadRaw(pos, raw, sizeof raw, &got); r < 0)
        return r;
    if (got == 0)
        return 1;  // nothing where a block would start: the end
    const std::string where = "the header block at offset " + std::to_string(pos);
    if (got != kHeaderBlockSize)
        return Fail(QM_E_DAMAGED, where + " is cut short (the archive ends inside it)");
    std::uint8_t plain[kHeaderBlockSize];
    const std::uint8_t *block = raw;
    if (headersEnciphered_) {
        if (!DecipherBlock(plain, raw))
            return Fail(QM_E_DAMAGED, where + " does not decipher with the header password");
        block = plain;
    }
    HeaderFields f;
    if (!ParseHeaderBlock(block, f))
        return Fail(QM_E_DAMAGED, where + " is damaged (magic, CRC, name or size)");
    entry.rawName.assign(f.name, f.nameLength);
    entry.name = DisplayName(f.name, f.nameLength);
    entry.cipherMethod = f.cipherMethod;
    entry.dataCrc = f.dataCrc;
    entry.packedSize = f.packedSize;
    entry.unpackedSize = f.unpackedSize;
    entry.dosDateTime = f.dosDateTime;
    entry.attributes = f.attributes;
    entry.dataPos = pos + kHeaderBlockSize;
    const std::int64_t after = static_cast<std::int64_t>(pos) + static_cast<std::int64_t>(kHeaderBlockSize) +
                               f.packedSize;
    *next = after > std::numeric_limits<std::int32_t>::max() ? -1 : after;
    return 0;
}

int ArchiveReader::Next(const EntryRecord **entry)
{
    *entry = nullptr;
    hasEntry_ = false;
    data_.phase = Phase::kNotStarted;
    cancelled_.store(false, std::memory_order_relaxed);
    message_.clear();
    systemError_ = 0;
    if (walkError_ != 0)
        return walkError_;
    int r = 1;
    std::int64_t next = -1;
    if (walkPos_ >= 0)
        r = ReadBlock(static_cast<std::uint64_t>(walkPos_), entry_, &next);
    if (r < 0) {
        walkError_ = r;
        walkPos_ = -1;
        return r;
    }
    if (r == 1) {
        walkPos_ = -1;
        // A first block lost to damage is reported once the walk is done.
        if (firstBlockLost_ && !lossReported_) {
            lossReported_ = true;
            return Fail(QM_E_DAMAGED, "the first header block of " + archiveName_ +
                                          " is damaged: its entry is lost, the others were read");
        }
        return 1;
    }
    walkPos_ = next;
    hasEntry_ = true;
    *entry = &entry_;
    return 0;
}

std::int64_t ArchiveReader::Count()
{
    std::int64_t count = 0;
    EntryRecord scratch;
    for (std::int64_t pos = firstBlockPos_; pos >= 0;) {
        std::int64_t next = -1;
        const int r = ReadBlock(static_cast<std::uint64_t>(pos), scratch, &next);
        if (r < 0)
            return r;
        if (r == 1)
            break;
        ++count;
        pos = next;
    }
    return count;
}

bool ArchiveReader::AskAgainForDataPassword()
{
    std::string answer;
    if (AskPassword(QM_PASSWORD_DATA, entry_.name, &answer) == 0)
        return false;
    options_.dataPassword = answer;
    return true;
}

}  // namespace qm
