// copy_at_offsets.cpp - the stored copy of a large plain entry on two
// threads that share the blocks: this thread takes the even blocks, a
// second thread the odd ones, and each reads its block from the carrier,
// folds its CRC and writes it to the output at the block's offsets, all
// from one buffer of its own.
//
// Why not the reads on one thread and the writes on the other
// (copy_behind.cpp): a block read on one core and written from the other
// crosses between the cores' caches, and the system's copy into the file,
// the longest step, then reads it at the speed of that crossing; the
// writer set the pace.  Here every byte is read, folded and written by the
// core that holds it.  The file system takes one write to a file at a time,
// so the writes still queue, but each thread's read and CRC run beside the
// other's write.  (The kernel's own copy, copy_file_range, was measured
// too: an entry's data starts anywhere in the carrier and its output at a
// page boundary, and a copy between offsets that do not share their place
// within a page ran slower than this.)
//
// Each block's CRC is folded from a register of 0; this thread joins them
// in order with Crc32Shift, so dataCrc is the CRC of the bytes written, in
// order, as the other copies make it.  The host sees what it sees of the
// other copies (pipeline.cpp): for each block of kCopyBlockSize bytes, in
// order, once its bytes are written, one progress report per step of 32512
// bytes, on this thread, and the copy goes on to the end of the entry
// whatever the host answers and whatever the writes do.  It ends early
// only at the carrier's end: the first block that comes back short is the
// last one reported, and nothing read after it counts.
//
// Only a plain entry whose packed and unpacked sizes agree takes this path
// (a cipher or a size cap is the other copies' work), and only where the
// platform reads and writes at offsets (file_offsets.h).
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "crypto/crc32.h"
#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/transfer_behind.h"
#include "platform/file_offsets.h"
#include "platform/large_block.h"

namespace qm {

namespace {

// The second thread runs at most this many of its blocks ahead of the
// reports (their results wait in a ring of that size): enough to ride out
// a host's slow progress callback.
constexpr std::uint64_t kAhead = 8;

// What became of one block.
struct BlockResult {
    std::uint32_t got = 0;      // bytes read from the carrier (fewer only at its end)
    std::uint32_t written = 0;  // of them, the bytes the output took, in order
    std::uint32_t crc = 0;      // the register after the written bytes, folded from 0
};

class CopyAtOffsets {
public:
    CopyAtOffsets(ExportSession &session, std::int64_t carrierStart, std::int64_t outputStart, std::int64_t size,
                  std::uint8_t *buffers)
        : session_(session), carrier_(session.carrier), output_(session.transfer.output),
          carrierStart_(carrierStart), outputStart_(outputStart), size_(size),
          blockCount_(static_cast<std::uint64_t>((size + kCopyBlockSize - 1) / kCopyBlockSize)),
          ownBuffer_(buffers), otherBuffer_(buffers + kCopyBlockSize)
    {
    }

    void Run()
    {
        std::thread other;
        try {
            other = std::thread([this] { OddBlocks(); });
        } catch (const std::system_error &) {
            threadless_ = true;  // this thread takes the odd blocks too
        }
        Report();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            over_ = true;  // nothing more is reported: the other thread stops
        }
        reported_.notify_one();
        if (other.joinable())
            other.join();
        platform::Seek(output_, outputStart_ + consumed_);
        platform::Seek(carrier_, carrierStart_ + consumed_);
    }

private:
    // Reads, folds and writes block number `block` from buffer.
    BlockResult CopyBlock(std::uint64_t block, std::uint8_t *buffer) const
    {
        const std::int64_t at = static_cast<std::int64_t>(block) * kCopyBlockSize;
        const auto want = static_cast<std::size_t>(size_ - at < kCopyBlockSize ? size_ - at : kCopyBlockSize);
        BlockResult result;
        const std::int64_t got = platform::ReadAt(carrier_, carrierStart_ + at, buffer, want);
        if (got <= 0)
            return result;
        result.got = static_cast<std::uint32_t>(got);
        const std::int64_t written =
            platform::WriteAt(output_, outputStart_ + at, buffer, static_cast<std::size_t>(got));
        result.written = written > 0 ? static_cast<std::uint32_t>(written) : 0;
        result.crc = Crc32Data(0, buffer, static_cast<std::int32_t>(result.written));
        return result;
    }

    // The second thread: the odd blocks, each once the reports are near
    // enough.  It touches the two files, its buffer and the shared state
    // only; it stops at the carrier's end or once the reports are over.
    void OddBlocks()
    {
        for (std::uint64_t block = 1; block < blockCount_; block += 2) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                reported_.wait(lock, [&] { return block < reportedBlocks_ + 2 * kAhead || over_; });
                if (over_)
                    return;
            }
            const BlockResult result = CopyBlock(block, otherBuffer_);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                results_[(block / 2) % kAhead] = result;
                oddDone_ = block + 1;
            }
            done_.notify_one();
            if (result.got == 0)
                return;
        }
    }

    // This thread: the even blocks, and every block's CRC and reports in
    // order.
    void Report()
    {
        TransferState &transfer = session_.transfer;
        transfer.dataCrc = 0xFFFFFFFFu;
        transfer.bytesDone = 0;
        BlockResult result;
        for (std::uint64_t block = 0; block < blockCount_; ++block) {
            if (block % 2 == 0 || threadless_) {
                result = CopyBlock(block, ownBuffer_);
            } else {
                std::unique_lock<std::mutex> lock(mutex_);
                done_.wait(lock, [&] { return oddDone_ > block; });
                result = results_[(block / 2) % kAhead];
            }
            if (result.got == 0)
                break;
            transfer.dataCrc = Crc32Shift(transfer.dataCrc, result.written) ^ result.crc;
            std::uint32_t steps[kCopyStepsPerBlock];
            std::uint32_t stepCount = 0;
            const std::uint32_t total = PlanCopySteps(transfer, result.got, steps, &stepCount);
            if (result.written < total)
                session_.status = QM_STATUS_WRITE_FAILED;
            ReportCopySteps(session_, steps, stepCount, result.written);
            consumed_ += result.got;
            transfer.packedLeft -= result.got;
            if (!threadless_) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    reportedBlocks_ = block + 1;
                }
                reported_.notify_one();
            }
            if (result.got < kCopyBlockSize)
                break;  // the carrier's end, or the entry's
        }
    }

    ExportSession &session_;
    // The files, taken once: the other thread never looks into the session.
    platform::File *const carrier_;
    platform::File *const output_;
    const std::int64_t carrierStart_;
    const std::int64_t outputStart_;
    const std::int64_t size_;
    const std::uint64_t blockCount_;
    std::uint8_t *const ownBuffer_;
    std::uint8_t *const otherBuffer_;
    bool threadless_ = false;    // set before the other thread could start
    std::int64_t consumed_ = 0;  // this thread's: the entry's bytes reported

    std::mutex mutex_;
    std::condition_variable done_;      // the other thread has done a block
    std::condition_variable reported_;  // a block is reported, or the reports are over
    BlockResult results_[kAhead];
    std::uint64_t oddDone_ = 0;         // the blocks before it are done (odd ones by the other thread)
    std::uint64_t reportedBlocks_ = 0;  // the blocks before it are reported
    bool over_ = false;
};

}  // namespace

bool CopyStoredAtOffsets(ExportSession &session)
{
    TransferState &transfer = session.transfer;
    if (transfer.activeCipher != QM_CIPHER_NONE || transfer.unpackedLeft < 0 ||
        transfer.packedLeft != static_cast<std::uint32_t>(transfer.unpackedLeft) || transfer.packedLeft == 0 ||
        !platform::OffsetsPossible(session.carrier, transfer.output))
        return false;
    const std::int64_t carrierStart = platform::Tell(session.carrier);
    const std::int64_t outputStart = platform::Tell(transfer.output);
    if (carrierStart < 0 || outputStart < 0)
        return false;
    constexpr std::size_t kBuffersSize = 2 * std::size_t{kCopyBlockSize};
    auto *buffers = static_cast<std::uint8_t *>(platform::AllocateLargeBlock(kBuffersSize));
    if (!buffers)
        return false;
    // The file's room reserved in one go rather than block by block as the
    // writes come (0.77 against 0.96 of cp's wall time in stored_bench).  A
    // plain entry that does not end complete and matching is removed, so
    // no reserved room outlives a failure.
    platform::Preallocate(transfer.output, outputStart, transfer.packedLeft);
    CopyAtOffsets(session, carrierStart, outputStart, transfer.packedLeft, buffers).Run();
    platform::FreeLargeBlock(buffers, kBuffersSize);
    return true;
}

}  // namespace qm
