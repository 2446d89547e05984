// unpack_copied_behind.cpp - the stream decoding of a large entry with the
// writes on the writer thread, the decoded bytes handed over as copies.
//
// The decoder runs as the inline decoder does (legacy_decoder.cpp): it fills
// its window and stops to deliver, one or two pieces across the window's
// wrap.  Here each delivery is copied into one of two buffers of the
// window's size and queued for the writer thread, and the decoder goes on
// at once.  The window itself never leaves this thread, so the decoder
// decodes exactly as inline, with no stops of its own and its window
// in its own core's cache; the price is a copy of every byte (a memcpy,
// about a twentieth of the decoding's time).  UnpackStreamBehind, which
// hands out the window itself, made the decoder wait for the writer and
// share its window's cache lines with the other core: 30 % off the
// decoder's rate.
//
// Each piece's report is made on this thread, once its bytes are written,
// with the counters the inline decoder had at that delivery; after a
// delivery whose reports left a status the inline decoder stopped, and so
// does this one.  It writes nothing past that delivery either: a
// delivery's pieces wait behind a gate of the writer that opens once the
// reports of the delivery before are made, so the file holds what the
// inline decoder's would.  The writer folds the CRC over the bytes the file
// accepted; dataCrc takes its register as each report is made.
//
// In the form UnpackStream takes (UnpackStreamReadAhead) the writer thread
// also reads the packed data ahead of the decoder and deciphers it
// (read_ahead.h): the carrier's reads, a twentieth of the extracting
// thread's time, leave it, and so does the cipher of an enciphered entry.
#include <cstdlib>
#include <cstring>

#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/read_ahead.h"
#include "extract/transfer_behind.h"
#include "extract/write_behind.h"
#include "platform/large_block.h"

namespace qm {

namespace {

// Two buffers: the decoder fills one while the writer writes the other.
constexpr std::uint32_t kBuffers = 2;

// A delivery queued and not yet reported.
struct Delivery {
    std::uint32_t pieces;  // 1, or 2 across the window's wrap
    std::int32_t done;     // the decoder's counters at the delivery
    std::int32_t left;
};

class StreamCopiedBehind {
public:
    StreamCopiedBehind(ExportSession &session, WriteBehind &writer, std::uint8_t *buffers)
        : session_(session), decoder_(session.decoder), writer_(writer), buffers_(buffers)
    {
    }

    void Run()
    {
        for (;;) {
            const bool ended = decoder_.Decode();
            session_.transfer.unpackedLeft = decoder_.left;
            session_.transfer.bytesDone = decoder_.done;
            // A buffer is free once the delivery that used it is reported.
            while (!stopped_ && queued_ - reported_ == kBuffers)
                ReportOldest();
            if (stopped_)
                return;
            Queue();
            while (!stopped_ && queued_ > reported_ && writer_.InFlight() > 0 && OldestWritten())
                ReportOldest();
            if (ended || stopped_)
                break;
        }
        while (!stopped_ && queued_ > reported_)
            ReportOldest();
    }

private:
    // Copies the pending bytes into the next buffer and queues them behind
    // the gate of this delivery.
    void Queue()
    {
        const PendingBytes p = decoder_.Pending();
        std::uint8_t *buffer = buffers_ + std::size_t{queued_ % kBuffers} * kWindowSize;
        std::memcpy(buffer, p.first, p.firstSize);
        writer_.Submit(buffer, p.firstSize, true, queued_);
        Delivery &d = deliveries_[queued_ % kBuffers];
        d = {1, decoder_.done, decoder_.left};
        if (p.second) {
            std::memcpy(buffer + p.firstSize, p.second, p.secondSize);
            writer_.Submit(buffer + p.firstSize, p.secondSize, true, queued_);
            d.pieces = 2;
        }
        decoder_.Delivered();
        ++queued_;
    }

    // True when every piece of the oldest delivery is written: TryTake
    // takes them one by one, so the results already taken wait in taken_.
    bool OldestWritten()
    {
        const Delivery &d = deliveries_[reported_ % kBuffers];
        WriteBehind::Result result;
        while (takenCount_ < d.pieces && writer_.TryTake(&result))
            taken_[takenCount_++] = result;
        return takenCount_ == d.pieces;
    }

    // Waits for the oldest delivery's pieces and makes its reports.
    void ReportOldest()
    {
        const Delivery &d = deliveries_[reported_ % kBuffers];
        while (takenCount_ < d.pieces)
            taken_[takenCount_++] = writer_.Take();
        TransferState &transfer = session_.transfer;
        const std::int32_t doneNow = transfer.bytesDone;
        const std::int32_t leftNow = transfer.unpackedLeft;
        transfer.bytesDone = d.done;
        transfer.unpackedLeft = d.left;
        for (std::uint32_t k = 0; k < d.pieces; ++k) {
            const WriteBehind::Result &r = taken_[k];
            transfer.dataCrc = r.crc;
            if (r.written < r.asked)
                session_.status = QM_STATUS_WRITE_FAILED;
            ReportProgress(session_, r.asked, r.written);
        }
        takenCount_ = 0;
        ++reported_;
        if (session_.status != QM_STATUS_OK) {
            stopped_ = true;  // the deliveries behind stay behind their closed gates
            return;
        }
        transfer.bytesDone = doneNow;
        transfer.unpackedLeft = leftNow;
        writer_.OpenGate(reported_);
    }

    ExportSession &session_;
    StreamDecoder &decoder_;
    WriteBehind &writer_;
    std::uint8_t *buffers_;
    Delivery deliveries_[kBuffers] = {};
    std::uint32_t queued_ = 0;    // deliveries queued
    std::uint32_t reported_ = 0;  // deliveries reported
    WriteBehind::Result taken_[2] = {};
    std::uint32_t takenCount_ = 0;  // results of the oldest delivery already taken
    bool stopped_ = false;
};

}  // namespace

namespace {

constexpr std::size_t kDeliveryBuffersSize = std::size_t{kBuffers} * kWindowSize;

// The decoding with writer as its writer thread (not yet started), chore
// beside its writes; buffers holds kDeliveryBuffersSize bytes.
bool DecodeCopiedBehind(ExportSession &session, PackedSource *source, WriteBehind &writer, WriterChore *chore,
                        std::uint8_t *window, std::uint8_t *buffers)
{
    TransferState &transfer = session.transfer;
    if (!writer.Start(transfer.output, transfer.dataCrc, chore))
        return false;
    transfer.bytesDone = 0;
    session.decoder.Start(source, window, transfer.unpackedLeft);
    transfer.unpackedLeft = session.decoder.left;
    transfer.bytesDone = session.decoder.done;
    StreamCopiedBehind(session, writer, buffers).Run();
    writer.Stop();
    return true;
}

}  // namespace

bool UnpackStreamCopiedBehind(ExportSession &session, PackedSource *source, std::uint8_t *window)
{
    auto *buffers = static_cast<std::uint8_t *>(platform::AllocateLargeBlock(kDeliveryBuffersSize));
    if (!buffers)
        return false;
    WriteBehind writer;
    const bool ran = DecodeCopiedBehind(session, source, writer, nullptr, window, buffers);
    platform::FreeLargeBlock(buffers, kDeliveryBuffersSize);
    return ran;
}

bool UnpackStreamReadAhead(ExportSession &session, std::uint8_t *window)
{
    // The ring right behind the delivery buffers, in the same block.
    constexpr std::size_t kBlockSize = kDeliveryBuffersSize + ReadAhead::kRingSize;
    auto *buffers = static_cast<std::uint8_t *>(platform::AllocateLargeBlock(kBlockSize));
    if (!buffers)
        return false;
    bool ran;
    {
        WriteBehind writer;
        ReadAhead ahead(session, writer, buffers + kDeliveryBuffersSize);
        ran = DecodeCopiedBehind(session, &ahead, writer, &ahead, window, buffers);
        writer.Stop();  // (done already when it ran) before the ring goes
        if (ran)
            session.decoder.input.source = nullptr;  // the source lives only for this call
    }
    platform::FreeLargeBlock(buffers, kBlockSize);
    return ran;
}

}  // namespace qm
