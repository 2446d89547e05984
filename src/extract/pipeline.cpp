// pipeline.cpp - the reader, the writer and the stored copy.
//
// The reader hands out the entry's packed bytes, deciphered, never more than
// PackedLeft of them.  For cipher methods 1 and 2 the first read consumes the
// 8-byte chaining value that precedes the data; it is not counted in
// PackedLeft, so the reader may go up to 8 bytes past the entry's data (they
// never reach the output: the copy is capped by UnpackedLeft and the decoder
// stops at the unpacked size).
//
// The writer writes, folds what was written into DataCrc and reports
// progress.  The percentage is BytesDone * 100 / ProgressTotal in 32-bit
// arithmetic: from 20,971,520 up both are halved together until the product
// stays below 2^31.
#include "extract/pipeline.h"

#include <cstdlib>

#include "state/callbacks.h"
#include "state/status.h"
#include "container/session.h"
#include "crypto/crc32.h"

namespace qm {

platform::File *OutputStream = nullptr;
std::uint32_t PackedLeft = 0;
std::int32_t UnpackedLeft = 0;
std::int32_t BytesDone = 0;
std::int32_t ProgressTotal = 0;
std::uint32_t DataCrc = 0xFFFFFFFFu;
CipherMethod ActiveCipher = -1;
bool ReadIvFirst = false;

namespace {

constexpr std::uint32_t kChainingValueSize = 8;
constexpr std::size_t kCopyBufferSize = 32768;
constexpr std::uint32_t kCopyRequest = 32512;
constexpr std::int32_t kHalvingThreshold = 0x1400000;  // keeps d * 100 below 2^31

std::int32_t ProgressPercent(std::uint32_t count)
{
    std::int32_t d = BytesDone;
    std::int32_t t = ProgressTotal;
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

std::uint32_t ReadPackedData(std::uint8_t *buffer, std::uint32_t count)
{
    if (ReadIvFirst) {
        ReadIvFirst = false;
        std::uint8_t iv[kChainingValueSize] = {};
        if (CarrierStream)
            platform::Read(CarrierStream, iv, sizeof iv);  // a short read is not checked
        CipherSetIv(iv);
    }
    if (count == 0 || !CarrierStream)
        return 0;
    const std::uint32_t wanted = count < PackedLeft ? count : PackedLeft;
    const auto got = static_cast<std::uint32_t>(platform::Read(CarrierStream, buffer, wanted));
    PackedLeft -= got;
    if (ActiveCipher != -1 && got > 0)
        CipherDecipherBuffer(buffer, static_cast<std::int32_t>(got), ActiveCipher);
    return got;
}

std::uint32_t WriteUnpackedData(const std::uint8_t *buffer, std::uint32_t count)
{
    std::uint32_t written = 0;
    if (count > 0 && OutputStream)
        written = static_cast<std::uint32_t>(platform::Write(OutputStream, buffer, count));
    if (written < count)
        ArchiveStatus = QM_STATUS_WRITE_FAILED;
    DataCrc = Crc32Data(DataCrc, buffer, static_cast<std::int32_t>(written));

    const auto &slot = Callbacks.progress;
    if (!slot.proc)
        return written;
    const std::int32_t percent = ProgressPercent(count);
    if (slot.proc(slot.user, percent, static_cast<std::int32_t>(written)) == 0)
        ArchiveStatus = QM_STATUS_STOPPED;
    return written;
}

void CopyStored()
{
    ReadIvFirst = ActiveCipher == 1 || ActiveCipher == 2;
    CipherSelectKey(Session.DataPassword, ActiveCipher);

    auto *buffer = static_cast<std::uint8_t *>(std::malloc(kCopyBufferSize));
    if (!buffer) {
        ArchiveStatus = QM_STATUS_OUT_OF_MEMORY;
        return;
    }
    DataCrc = 0xFFFFFFFFu;
    BytesDone = 0;
    for (;;) {
        const std::uint32_t got = ReadPackedData(buffer, kCopyRequest);
        if (got == 0)
            break;
        // Bytes beyond the unpacked size (cipher padding) are read but not
        // written.  A negative unpacked size from a damaged header writes
        // nothing rather than a negative count.
        std::int32_t n = static_cast<std::int32_t>(got);
        if (UnpackedLeft < n)
            n = UnpackedLeft > 0 ? UnpackedLeft : 0;
        BytesDone += n;
        WriteUnpackedData(buffer, static_cast<std::uint32_t>(n));
        UnpackedLeft -= n;
    }
    std::free(buffer);
}

}  // namespace qm
