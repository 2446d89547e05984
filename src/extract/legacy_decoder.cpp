// legacy_decoder.cpp - UnpackStream: a session's StreamDecoder pulling the
// entry's packed bytes through ReadPackedData and handing its window to
// WriteUnpackedData on the caller's thread, or for a large entry taking its
// packed bytes from and handing copies of its window to the writer thread
// (the writer-thread forms of the same run are in transfer_behind.h).
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/transfer_behind.h"

namespace qm {

namespace {

// The decoder's source for one entry: the session's reader, in blocks of
// kPackedBlockSize.  The decoder asks for 8160 bytes at a time; a system
// call (and a cipher call) per 8160 bytes cost UnpackStream 7 % of its rate
// against one per 64 KiB.  The blocks are multiples of 8 bytes, so the
// cipher's blocks never straddle two reads, and the reader still stops at
// the entry's packed size.  The decoder takes a short read for the end of
// the data, so a read is short only when the reader's was.  Without the
// block (no memory), reads go straight through.
class PipelineSource final : public PackedSource {
public:
    static constexpr std::uint32_t kBlockSize = kPackedBlockSize;
    static_assert(kBlockSize % 8 == 0, "cipher blocks never straddle two reads");

    explicit PipelineSource(ExportSession &session)
        : session_(session), block_(new (std::nothrow) std::uint8_t[kBlockSize])
    {
    }
    std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override
    {
        if (!block_)
            return ReadPackedData(session_, buffer, count);
        std::uint32_t done = 0;
        while (done < count) {
            if (next_ == held_) {
                if (ended_)
                    break;
                held_ = ReadPackedData(session_, block_.get(), kBlockSize);
                next_ = 0;
                ended_ = held_ < kBlockSize;
                if (held_ == 0)
                    break;
            }
            const std::uint32_t n = std::min(count - done, held_ - next_);
            std::memcpy(buffer + done, block_.get() + next_, n);
            next_ += n;
            done += n;
        }
        return done;
    }

private:
    ExportSession &session_;
    std::unique_ptr<std::uint8_t[]> block_;
    std::uint32_t held_ = 0;  // bytes read into the block
    std::uint32_t next_ = 0;  // the next of them to hand out
    bool ended_ = false;      // the reader came back short: nothing follows
};

// Moves the decoder's counters to the transfer state, where the writer's
// progress reports look for them.
void PublishCounters(ExportSession &session)
{
    session.transfer.unpackedLeft = session.decoder.left;
    session.transfer.bytesDone = session.decoder.done;
}

void FlushWindow(ExportSession &session)
{
    const PendingBytes p = session.decoder.Pending();
    WriteUnpackedData(session, p.first, p.firstSize);
    if (p.second)
        WriteUnpackedData(session, p.second, p.secondSize);
    session.decoder.Delivered();
}

}  // namespace

void UnpackStream(ExportSession &session, std::uint8_t *window)
{
    // A large entry is decoded here and written by the writer thread from
    // copies of the deliveries, its packed data read ahead by the same
    // thread (UnpackStreamReadAhead): the writes into the file, a fifth of a
    // whole extraction's time, and the reads from the carrier go on beside
    // the decoding.  Handing out the window itself (UnpackStreamBehind) cost
    // the decoder 30 % of its rate; a copy of each delivery costs it a few.
    if (session.transfer.unpackedLeft >= static_cast<std::int32_t>(kWriteBehindMinimum)) {
        if (UnpackStreamReadAhead(session, window))
            return;  // (it lets go of its source, which lives only for the call)
    }
    UnpackStreamInline(session, window);
}

void UnpackStreamInline(ExportSession &session, std::uint8_t *window)
{
    PipelineSource source(session);
    session.transfer.bytesDone = 0;
    session.decoder.Start(&source, window, session.transfer.unpackedLeft);
    PublishCounters(session);
    for (;;) {
        const bool ended = session.decoder.Decode();
        PublishCounters(session);
        FlushWindow(session);
        if (ended || session.status != QM_STATUS_OK)
            break;
    }
    // The source lives only for this entry.
    session.decoder.input.source = nullptr;
}

}  // namespace qm
