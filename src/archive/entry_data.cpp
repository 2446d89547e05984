// entry_data.cpp - handing out the current entry's data.
//
// An entry is compressed exactly when its packed size is below its unpacked
// size.  Its packed bytes start right behind its header block; for cipher
// methods 1 and 2 an 8-byte chaining value comes first (not counted in the
// packed size).  Methods 0 and 1 decipher the bytes as they are read.
//
// Stored entries are read in blocks of 64 KiB (whole cipher blocks) and
// handed out up to their unpacked size.  Compressed entries go through the
// reader's decoder; its window holds up to 1 MiB of decoded bytes that are
// handed out piece by piece before the decoder is asked for more.  Either
// way the data CRC is folded over the bytes as they go out, and the end of
// the data is reported (0) only when the CRC matched.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "archive/archive_reader.h"
#include "crypto/crc32.h"

namespace qm {

namespace {

constexpr std::uint32_t kStoredBlock = 64 * 1024;
static_assert(kStoredBlock % 8 == 0, "cipher blocks never straddle two reads");
constexpr std::uint32_t kChainingValueSize = 8;

bool HasKey(std::int32_t method) { return method == 0 || method == 1; }
bool HasChainingValue(std::int32_t method) { return method == 1 || method == 2; }

}  // namespace

std::uint32_t ArchiveReader::DataState::ReadPacked(std::uint8_t *buffer, std::uint32_t count)
{
    const std::uint32_t wanted = std::min(count, packedLeft);
    if (wanted == 0 || readFailed)
        return 0;
    int systemError = 0;
    const std::int64_t got = reader->source_->ReadAt(packedPos, buffer, wanted, &systemError);
    if (got < 0) {
        readFailed = true;
        readError = systemError;
        return 0;
    }
    const auto n = static_cast<std::uint32_t>(got);
    packedPos += n;
    packedLeft -= n;
    if (HasKey(reader->entry_.cipherMethod) && n > 0) {
        // The last block is deciphered whole: its bytes past the data are
        // zeros rather than whatever the buffer held.
        const std::uint32_t rounded = (n + 7) & ~7u;
        std::memset(buffer + n, 0, rounded - n);
        cipher.Decipher(buffer, static_cast<std::int32_t>(n), reader->entry_.cipherMethod);
    }
    return n;
}

int ArchiveReader::BeginData()
{
    const EntryRecord &e = entry_;
    DataState &d = data_;
    d.error = 0;
    d.readFailed = false;
    d.readError = 0;
    d.crc = 0xFFFFFFFFu;
    d.delivered = 0;
    d.pendingValid = false;
    d.decoderEnded = false;
    d.bufferPos = d.bufferLength = 0;
    if (e.unpackedSize < 0) {
        d.phase = Phase::kFailed;
        return d.error = Fail(QM_E_DAMAGED, e.name + ": the header block gives a negative size");
    }
    if (HasKey(e.cipherMethod)) {
        if (options_.dataPassword.empty()) {
            std::string answer;
            if (AskPassword(QM_PASSWORD_DATA, e.name, &answer) == 0) {
                d.phase = Phase::kFailed;
                return d.error = Fail(options_.callback ? QM_E_BAD_PASSWORD : QM_E_NEED_PASSWORD,
                                      e.name + " is enciphered and no data password was given");
            }
            options_.dataPassword = answer;
        }
        d.cipher.SelectKey(options_.dataPassword.c_str(), e.cipherMethod);
    }
    d.packedPos = e.dataPos;
    d.packedLeft = static_cast<std::uint32_t>(e.packedSize);
    if (HasChainingValue(e.cipherMethod)) {
        std::uint8_t iv[kChainingValueSize] = {};
        std::size_t got = 0;
        if (const int r = ReadRaw(d.packedPos, iv, sizeof iv, &got); r < 0) {
            d.phase = Phase::kFailed;
            return d.error = r;
        }
        d.cipher.SetIv(iv);  // a short read leaves zeros, as the exports do
        d.packedPos += kChainingValueSize;
    }
    d.compressed = e.packedSize < e.unpackedSize;
    d.left = e.unpackedSize;
    if (d.compressed) {
        if (!decoder_) {
            decoder_.reset(new (std::nothrow) StreamDecoder());
            window_.reset(new (std::nothrow) std::uint8_t[kWindowSize]);
            if (!decoder_ || !window_) {
                decoder_.reset();
                window_.reset();
                d.phase = Phase::kFailed;
                return d.error = Fail(QM_E_NO_MEMORY, "out of memory for the decoder of " + e.name);
            }
        }
        decoder_->Start(&d, window_.get(), e.unpackedSize);
    } else if (!storedBuffer_) {
        storedBuffer_.reset(new (std::nothrow) std::uint8_t[kStoredBlock]);
        if (!storedBuffer_) {
            d.phase = Phase::kFailed;
            return d.error = Fail(QM_E_NO_MEMORY, "out of memory for " + e.name);
        }
    }
    d.phase = Phase::kReading;
    return 0;
}

// All bytes are out: the verdict on the entry.
int ArchiveReader::EndOfData()
{
    DataState &d = data_;
    const EntryRecord &e = entry_;
    int code = 0;
    if (d.readFailed) {
        code = Fail(QM_E_IO, "cannot read the data of " + e.name, d.readError);
    } else if (~d.crc != e.dataCrc || d.delivered != e.unpackedSize) {
        const std::string detail =
            d.delivered != e.unpackedSize
                ? "its data ends after " + std::to_string(d.delivered) + " of " +
                      std::to_string(e.unpackedSize) + " bytes"
                : "its data does not match its CRC";
        if (HasKey(e.cipherMethod))
            code = Fail(QM_E_BAD_PASSWORD, e.name + ": wrong data password (" + detail + ")");
        else if (d.delivered != e.unpackedSize)
            code = Fail(QM_E_DAMAGED, e.name + " is damaged: " + detail);
        else
            code = Fail(QM_E_CRC, e.name + " is damaged: " + detail);
    }
    d.phase = code < 0 ? Phase::kFailed : Phase::kEnded;
    d.error = code;
    return code;
}

std::int64_t ArchiveReader::ReadStored(std::uint8_t *out, std::size_t size)
{
    DataState &d = data_;
    std::size_t made = 0;
    while (made < size) {
        if (d.bufferPos == d.bufferLength) {
            if (d.left <= 0)
                break;
            const std::uint32_t got = d.ReadPacked(storedBuffer_.get(), kStoredBlock);
            if (got == 0)
                break;
            d.bufferPos = 0;
            d.bufferLength = static_cast<std::uint32_t>(std::min<std::int64_t>(got, d.left));
            d.left -= d.bufferLength;
        }
        const std::size_t n = std::min<std::size_t>(size - made, d.bufferLength - d.bufferPos);
        std::memcpy(out + made, storedBuffer_.get() + d.bufferPos, n);
        d.bufferPos += static_cast<std::uint32_t>(n);
        made += n;
    }
    return static_cast<std::int64_t>(made);
}

std::int64_t ArchiveReader::ReadCompressed(std::uint8_t *out, std::size_t size)
{
    DataState &d = data_;
    std::size_t made = 0;
    while (made < size) {
        if (!d.pendingValid) {
            if (d.decoderEnded)
                break;
            if (cancelled_.load(std::memory_order_relaxed))
                break;
            d.decoderEnded = decoder_->Decode();
            d.pending = decoder_->Pending();
            d.pendingValid = true;
        }
        // The pending bytes, across the window's wrap: the second piece
        // moves up once the first is out.
        PendingBytes &p = d.pending;
        if (p.firstSize == 0 && p.secondSize != 0) {
            p.first = p.second;
            p.firstSize = p.secondSize;
            p.secondSize = 0;
        }
        const std::size_t n = std::min<std::size_t>(size - made, p.firstSize);
        std::memcpy(out + made, p.first, n);
        made += n;
        p.first += n;
        p.firstSize -= static_cast<std::uint32_t>(n);
        if (p.firstSize == 0 && p.secondSize == 0) {
            decoder_->Delivered();
            d.pendingValid = false;
        }
    }
    return static_cast<std::int64_t>(made);
}

std::int64_t ArchiveReader::Read(void *buffer, std::size_t size)
{
    if (!hasEntry_)
        return Fail(QM_E_NO_ENTRY, "no current entry");
    DataState &d = data_;
    if (d.phase == Phase::kFailed)
        return d.error;
    if (d.phase == Phase::kEnded)
        return 0;
    if (cancelled_.load(std::memory_order_relaxed)) {
        d.phase = Phase::kFailed;
        return d.error = Fail(QM_E_CANCELLED, "reading " + entry_.name + " was cancelled");
    }
    // A buffer of no bytes could take nothing, and 0 means the end.
    if (size == 0)
        return Fail(QM_E_ARGUMENT, "qm_read_data needs a buffer of at least one byte");
    if (d.phase == Phase::kNotStarted)
        if (const int r = BeginData(); r < 0)
            return r;
    auto *out = static_cast<std::uint8_t *>(buffer);
    const std::int64_t made = d.compressed ? ReadCompressed(out, size) : ReadStored(out, size);
    d.crc = Crc32Update(d.crc, out, static_cast<std::size_t>(made));
    d.delivered += made;
    if (made > 0)
        return made;
    if (cancelled_.load(std::memory_order_relaxed)) {
        d.phase = Phase::kFailed;
        return d.error = Fail(QM_E_CANCELLED, "reading " + entry_.name + " was cancelled");
    }
    return EndOfData();
}

int ArchiveReader::Skip()
{
    if (!hasEntry_)
        return Fail(QM_E_NO_ENTRY, "no current entry");
    data_.phase = Phase::kEnded;
    data_.error = 0;
    return 0;
}

int ArchiveReader::ReadAll(Sink sink, void *context)
{
    if (!hasEntry_)
        return Fail(QM_E_NO_ENTRY, "no current entry");
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kStoredBlock]);
    if (!buffer)
        return Fail(QM_E_NO_MEMORY, "out of memory");
    for (;;) {
        data_.phase = Phase::kNotStarted;
        passwordDeclined_ = false;
        std::int64_t r;
        while ((r = Read(buffer.get(), kStoredBlock)) > 0)
            if (sink && !sink(context, buffer.get(), static_cast<std::size_t>(r)))
                return Fail(QM_E_OUTPUT, "cannot write " + entry_.name, systemError_);
        if (r == 0)
            return 0;
        // A wrong data password: the host may try another.
        if (r != QM_E_BAD_PASSWORD || !options_.callback || passwordDeclined_ || !AskAgainForDataPassword())
            return static_cast<int>(r);
    }
}

int ArchiveReader::Test() { return ReadAll(nullptr, nullptr); }

}  // namespace qm
