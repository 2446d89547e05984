// copy_behind.cpp - the stored copy of a large entry: this thread reads,
// deciphers and folds the CRC of a block while the writer thread writes the
// blocks before it.
//
// The blocks go round a ring of kRingBlocks buffers of the inline copy's
// size; a buffer is read into again only once its write is done and
// reported.  Each block is reported as the inline copy reports it (one
// report per step, the bytes written shared among the steps in order),
// after its write, on this thread.  The inline copy goes on to the end of
// the entry whatever the writes and the host's answers were; so does this.
//
// The CRC is folded here over each block as read, while its bytes are still
// in cache.  That is the CRC of the bytes written as long as every write
// went out whole; from the first short write on, dataCrc is taken again
// over what was written, as the inline copy takes it.
#include <cstdlib>

#include "crypto/crc32.h"
#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/transfer_behind.h"
#include "extract/write_behind.h"
#include "platform/large_block.h"

namespace qm {

namespace {

// Four blocks: one being read, up to three waiting for the writer, which is
// enough to ride out the writer's pauses; 2 MiB in all.
constexpr std::uint32_t kRingBlocks = 4;

struct Block {
    std::uint8_t *data;
    std::uint32_t steps[kCopyStepsPerBlock];
    std::uint32_t stepCount;
    std::uint32_t total;     // bytes to write: the steps' sum
    std::uint32_t crcAfter;  // the CRC over everything read up to this block's end
};

class StoredCopy {
public:
    StoredCopy(ExportSession &session, WriteBehind &writer, std::uint8_t *buffers)
        : session_(session), writer_(writer)
    {
        for (std::uint32_t k = 0; k < kRingBlocks; ++k)
            ring_[k].data = buffers + std::size_t{k} * kCopyBlockSize;
    }

    void Run()
    {
        std::uint32_t readCrc = 0xFFFFFFFFu;
        for (;;) {
            if (inFlight_ == kRingBlocks)
                Finish(writer_.Take());
            Block &block = ring_[(oldest_ + inFlight_) % kRingBlocks];
            const std::uint32_t got = ReadPackedData(session_, block.data, kCopyBlockSize);
            if (got == 0)
                break;
            block.total = PlanCopySteps(session_.transfer, got, block.steps, &block.stepCount);
            readCrc = Crc32Data(readCrc, block.data, static_cast<std::int32_t>(block.total));
            block.crcAfter = readCrc;
            writer_.Submit(block.data, block.total, false);
            ++inFlight_;
            WriteBehind::Result result;
            while (inFlight_ > 0 && writer_.TryTake(&result))
                Finish(result);
        }
        while (inFlight_ > 0)
            Finish(writer_.Take());
    }

private:
    // The oldest block's write is done: its CRC and its reports.
    void Finish(const WriteBehind::Result &result)
    {
        const Block &block = ring_[oldest_];
        oldest_ = (oldest_ + 1) % kRingBlocks;
        --inFlight_;
        TransferState &transfer = session_.transfer;
        if (result.written < block.total)
            session_.status = QM_STATUS_WRITE_FAILED;
        if (result.written == block.total && !diverged_) {
            transfer.dataCrc = block.crcAfter;
        } else {
            transfer.dataCrc = Crc32Data(transfer.dataCrc, block.data, static_cast<std::int32_t>(result.written));
            diverged_ = true;
        }
        ReportCopySteps(session_, block.steps, block.stepCount, result.written);
    }

    ExportSession &session_;
    WriteBehind &writer_;
    Block ring_[kRingBlocks] = {};
    std::uint32_t oldest_ = 0;
    std::uint32_t inFlight_ = 0;
    bool diverged_ = false;  // a short write came: dataCrc no longer follows the reads
};

}  // namespace

bool CopyStoredBehind(ExportSession &session)
{
    constexpr std::size_t kBuffersSize = std::size_t{kRingBlocks} * kCopyBlockSize;
    auto *buffers = static_cast<std::uint8_t *>(platform::AllocateLargeBlock(kBuffersSize));
    if (!buffers)
        return false;  // the inline copy makes do with one block
    WriteBehind writer;
    TransferState &transfer = session.transfer;
    if (!writer.Start(transfer.output, 0)) {
        platform::FreeLargeBlock(buffers, kBuffersSize);
        return false;
    }
    transfer.dataCrc = 0xFFFFFFFFu;
    transfer.bytesDone = 0;
    StoredCopy(session, writer, buffers).Run();
    writer.Stop();
    platform::FreeLargeBlock(buffers, kBuffersSize);
    return true;
}

}  // namespace qm
