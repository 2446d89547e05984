// legacy_decoder.cpp - UnpackStream: a session's StreamDecoder pulling the
// entry's packed bytes through ReadPackedData and handing its window to
// WriteUnpackedData on the caller's thread, or for a large entry to the
// writer thread (the writer-thread forms of the same run are in
// transfer_behind.h).
#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/transfer_behind.h"

namespace qm {

namespace {

// The decoder's source for one entry: the session's reader.
class PipelineSource final : public PackedSource {
public:
    explicit PipelineSource(ExportSession &session) : session_(session) {}
    std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override
    {
        return ReadPackedData(session_, buffer, count);
    }

private:
    ExportSession &session_;
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
    // copies of the deliveries (UnpackStreamCopiedBehind): the writes into
    // the file, a fifth of a whole extraction's time, go on beside the
    // decoding.  Handing out the window itself (UnpackStreamBehind) cost
    // the decoder 30 % of its rate; a copy of each delivery costs it a few.
    if (session.transfer.unpackedLeft >= static_cast<std::int32_t>(kWriteBehindMinimum)) {
        PipelineSource source(session);
        const bool behind = UnpackStreamCopiedBehind(session, &source, window);
        session.decoder.input.source = nullptr;  // the source lives only for this entry
        if (behind)
            return;
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
