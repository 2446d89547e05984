// pipeline.cpp - the reader, the writer and the stored copy.
//
// The reader hands out the entry's packed bytes, deciphered, never more than
// packedLeft of them.  For cipher methods 1 and 2 the first read consumes the
// 8-byte chaining value that precedes the data; it is not counted in
// packedLeft, so the reader may go up to 8 bytes past the entry's data (they
// never reach the output: the copy is capped by unpackedLeft and the decoder
// stops at the unpacked size).
//
// The stored copy reads, writes and folds the CRC in blocks of about half a
// mebibyte, but reports progress to the host in the steps of 32512 bytes it
// has always used: after each block, one report per step, each counting the
// step's bytes as asked and as written.
//
// The writer writes, folds what was written into dataCrc and reports
// progress.  The percentage is bytesDone * 100 / progressTotal in 32-bit
// arithmetic: from 20,971,520 up both are halved together until the product
// stays below 2^31.
#include "extract/pipeline.h"

#include <cstdlib>

#include "crypto/crc32.h"
#include "extract/export_session.h"
#include "extract/transfer_behind.h"

namespace qm {

namespace {

constexpr std::uint32_t kChainingValueSize = 8;
// The stored copy moves blocks of sixteen steps (508 KiB): large enough that
// the system calls cost little, small enough to stay in the second-level
// cache between the read, the write and the CRC (half the CPU time of the
// 32512-byte blocks on a 200 MB entry).  The host still sees one progress
// report per step of 32512 bytes.
constexpr std::uint32_t kCopyStep = 32512;
constexpr std::uint32_t kStepsPerBlock = 16;
constexpr std::uint32_t kCopyBlock = kCopyStep * kStepsPerBlock;
static_assert(kCopyBlock % 8 == 0, "cipher blocks never straddle two reads");
static_assert(kCopyBlock == kCopyBlockSize && kStepsPerBlock == kCopyStepsPerBlock);
constexpr std::int32_t kHalvingThreshold = 0x1400000;  // keeps d * 100 below 2^31

std::int32_t ProgressPercent(const TransferState &transfer, std::uint32_t count)
{
    std::int32_t d = transfer.bytesDone;
    std::int32_t t = transfer.progressTotal;
    while (d >= kHalvingThreshold) {
        d >>= 1;
        t >>= 1;
    }
    if (t == 0)
        return static_cast<std::int32_t>(count);
    // d is below the threshold here; a negative d (never produced by our own
    // producers) is clamped so the product cannot overflow.
    if (d < 0)
        d = 0;
    return (d * 100) / t;
}

}  // namespace

std::uint32_t ReadPackedBytes(platform::File *carrier, DataCipher &cipher, CipherMethod method,
                              std::uint32_t &packedLeft, bool &readIvFirst, std::uint8_t *buffer, std::uint32_t count)
{
    if (readIvFirst) {
        readIvFirst = false;
        std::uint8_t iv[kChainingValueSize] = {};
        if (carrier)
            platform::Read(carrier, iv, sizeof iv);  // a short read is not checked
        cipher.SetIv(iv);
    }
    if (count == 0 || !carrier)
        return 0;
    const std::uint32_t wanted = count < packedLeft ? count : packedLeft;
    const auto got = static_cast<std::uint32_t>(platform::Read(carrier, buffer, wanted));
    packedLeft -= got;
    if (method != -1 && got > 0)
        cipher.Decipher(buffer, static_cast<std::int32_t>(got), method);
    return got;
}

std::uint32_t ReadPackedData(ExportSession &session, std::uint8_t *buffer, std::uint32_t count)
{
    TransferState &transfer = session.transfer;
    return ReadPackedBytes(session.carrier, session.cipher, transfer.activeCipher, transfer.packedLeft,
                           transfer.readIvFirst, buffer, count);
}

namespace {

// Writes count bytes and folds the ones written into dataCrc.  The CRC runs
// first, while the bytes are still in cache from the read or the decoder (the
// system's copy into the file leaves them colder); in the rare case of a
// short write it is taken again over the bytes that went out.  A short write
// sets the status.
std::uint32_t WriteAndFold(ExportSession &session, const std::uint8_t *buffer, std::uint32_t count)
{
    TransferState &transfer = session.transfer;
    const std::uint32_t crcAll = Crc32Data(transfer.dataCrc, buffer, static_cast<std::int32_t>(count));
    std::uint32_t written = 0;
    if (count > 0 && transfer.output)
        written = static_cast<std::uint32_t>(platform::Write(transfer.output, buffer, count));
    if (written < count) {
        session.status = QM_STATUS_WRITE_FAILED;
        transfer.dataCrc = Crc32Data(transfer.dataCrc, buffer, static_cast<std::int32_t>(written));
    } else {
        transfer.dataCrc = crcAll;
    }
    return written;
}

}  // namespace

void ReportProgress(ExportSession &session, std::uint32_t asked, std::uint32_t written)
{
    const auto &slot = session.callbacks.progress;
    if (!slot.proc)
        return;
    const std::int32_t percent = ProgressPercent(session.transfer, asked);
    if (slot.proc(slot.user, percent, static_cast<std::int32_t>(written)) == 0)
        session.status = QM_STATUS_STOPPED;
}

std::uint32_t WriteUnpackedData(ExportSession &session, const std::uint8_t *buffer, std::uint32_t count)
{
    const std::uint32_t written = WriteAndFold(session, buffer, count);
    ReportProgress(session, count, written);
    return written;
}

void CopyStored(ExportSession &session)
{
    TransferState &transfer = session.transfer;
    transfer.readIvFirst = transfer.activeCipher == 1 || transfer.activeCipher == 2;
    session.cipher.SelectKey(session.archive.DataPassword, transfer.activeCipher);
    // A large entry is read and written on a thread of its own, the CRC
    // folded behind it here, where the platform allows; otherwise written
    // on a thread of its own while the blocks behind it are read here.
    if (transfer.packedLeft >= kWriteBehindMinimum && (CopyStoredAtOffsets(session) || CopyStoredBehind(session)))
        return;
    CopyStoredInline(session);
}

void CopyStoredInline(ExportSession &session)
{
    TransferState &transfer = session.transfer;
    // A small entry gets a buffer of its own size, rounded up to whole
    // cipher blocks.
    std::uint32_t block = kCopyBlock;
    if (transfer.packedLeft < block)
        block = (transfer.packedLeft + 7) & ~std::uint32_t{7};
    auto *buffer = static_cast<std::uint8_t *>(std::malloc(block > 0 ? block : 8));
    if (!buffer) {
        session.status = QM_STATUS_OUT_OF_MEMORY;
        return;
    }
    transfer.dataCrc = 0xFFFFFFFFu;
    transfer.bytesDone = 0;
    for (;;) {
        const std::uint32_t got = ReadPackedData(session, buffer, block > 0 ? block : 8);
        if (got == 0)
            break;
        std::uint32_t steps[kStepsPerBlock];
        std::uint32_t stepCount = 0;
        const std::uint32_t total = PlanCopySteps(transfer, got, steps, &stepCount);
        ReportCopySteps(session, steps, stepCount, WriteAndFold(session, buffer, total));
    }
    std::free(buffer);
}

// The block is written in one piece; progress is reported per step of
// kCopyStep bytes, as if each step had been read and written on its own.
// Bytes beyond the unpacked size (cipher padding) are read but not written,
// and a negative unpacked size from a damaged header writes nothing rather
// than a negative count.
std::uint32_t PlanCopySteps(TransferState &transfer, std::uint32_t got, std::uint32_t *steps,
                            std::uint32_t *stepCount)
{
    std::uint32_t count = 0;
    std::uint32_t total = 0;
    for (std::uint32_t at = 0; at < got; at += kCopyStep) {
        const std::uint32_t chunk = got - at < kCopyStep ? got - at : kCopyStep;
        std::int32_t n = static_cast<std::int32_t>(chunk);
        if (transfer.unpackedLeft < n)
            n = transfer.unpackedLeft > 0 ? transfer.unpackedLeft : 0;
        transfer.unpackedLeft -= n;
        steps[count++] = static_cast<std::uint32_t>(n);
        total += static_cast<std::uint32_t>(n);
    }
    *stepCount = count;
    return total;
}

void ReportCopySteps(ExportSession &session, const std::uint32_t *steps, std::uint32_t stepCount,
                     std::uint32_t written)
{
    std::uint32_t writtenLeft = written;
    for (std::uint32_t k = 0; k < stepCount; ++k) {
        const std::uint32_t share = writtenLeft < steps[k] ? writtenLeft : steps[k];
        writtenLeft -= share;
        session.transfer.bytesDone += static_cast<std::int32_t>(steps[k]);
        ReportProgress(session, steps[k], share);
    }
}

}  // namespace qm
