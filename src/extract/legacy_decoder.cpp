// legacy_decoder.cpp - UnpackStream: a session's StreamDecoder pulling the
// entry's packed bytes through ReadPackedData and handing its window to
// WriteUnpackedData on the caller's thread (the writer-thread form of the
// same run is UnpackStreamBehind, transfer_behind.h).
#include "extract/export_session.h"
#include "extract/pipeline.h"

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
    // Compressed entries are decoded and written on the caller's thread.
    // UnpackStreamBehind (the writes on a thread of their own) hands the
    // window over in 128 KiB pieces, and measured on two cores that costs the
    // decoder 30 % of its rate (unpack_bench: 735 against 1031 MB/s) while a
    // whole extraction into memory gains nothing (extract_bench: 4.6-5.1
    // against 5.0 times unar): the decoder, not the writes, sets the pace.
    // It stays ready, and tested against this path, for when the decoder is
    // fast enough for the writes to matter.
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
