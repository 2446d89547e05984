// unpack_behind.cpp - the stream decoding of a large entry with the window
// written out by the writer thread while the decoder goes on.
//
// Positions here are linear: the count of bytes the entry has made (the
// decoder's `done`); a byte's place in the window is its position modulo
// the window's size.  Three positions mark the state:
//   handed    bytes before it are queued for the writer
//   released  bytes before it are written (or failed): their place in the
//             window may be decoded into again
//   flushed   where the inline decoder made its last delivery
//
// The inline decoder fills the window up to kRoomKept bytes short of its
// last delivery and then writes and reports what it holds: one report, or
// two across the window's wrap (the second of no bytes when the wrap is
// exactly at its end), and one of no bytes at the stream's end when nothing
// is pending.  Those deliveries depend only on the stream, so this decoder
// finds them too: it keeps the window from min(released, flushed) on, which
// stops it at the inline decoder's delivery points (or earlier), and makes
// the same reports there; besides, it stops every kPieceSize bytes to queue
// what it made.  A report is made on this thread once all of its bytes have
// been written, with the counters the inline decoder had at that delivery.
// After a delivery whose reports left a status the inline decoder stopped,
// and so does this one.  It writes nothing past that delivery either: the
// pieces of a delivery wait behind a gate of the writer that opens once the
// reports of the delivery before are made, so the file holds what the
// inline decoder's would, whatever happens.
//
// The writer folds the CRC over the bytes the file accepted; dataCrc takes
// its register as each report is made.  Everything of the session (its
// transfer state, status and callbacks) is touched on this thread only.
#include <algorithm>

#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/transfer_behind.h"
#include "extract/write_behind.h"

namespace qm {

namespace {

constexpr std::int64_t kWindow = kWindowSize;
constexpr std::int64_t kRoomKept = StreamDecoder::kRoomKept;
// The decoder queues what it made at least every kPieceSize bytes: early
// enough for the writer to have work, seldom enough that the hand-offs cost
// nothing.
constexpr std::int64_t kPieceSize = 128 * 1024;
// Rather than decode fewer bytes than this at a time for want of room, the
// decoder waits for a write to finish.
constexpr std::int64_t kLeastRun = 64 * 1024;

// One report of the inline decoder: the bytes [begin, end) of a delivery
// on one side of the window's wrap, and the counters at that delivery.
struct Report {
    std::int64_t begin;
    std::int64_t end;
    std::int32_t done;
    std::int32_t left;
    bool lastOfDelivery;
};

// The written pieces of one report's bytes, taken together.  A piece never
// spans two reports: pieces end at the window's wrap and at deliveries.
struct Written {
    std::int64_t end;       // of the last piece
    std::uint32_t written;  // in order, up to the first short write
    bool shortWrite;
    std::uint32_t crc;      // the writer's register after the last piece
};

// At most a delivery's two reports are pending before their bytes are
// written, besides the one being made.
constexpr std::uint32_t kMaxReports = 8;
constexpr std::uint32_t kMaxWritten = 8;

class StreamBehind {
public:
    StreamBehind(ExportSession &session, WriteBehind &writer, std::uint8_t *window)
        : session_(session), decoder_(session.decoder), writer_(writer), window_(window)
    {
    }

    void Run()
    {
        bool ended = false;
        while (!ended && !stopped_) {
            const std::int64_t made = decoder_.done;
            const std::int64_t keep = std::min({released_, flushed_, made + kPieceSize + kRoomKept - kWindow});
            if (keep + kWindow - made < kRoomKept + kLeastRun && writer_.InFlight() > 0) {
                TakeOne();
                continue;
            }
            decoder_.KeepFrom(static_cast<std::uint32_t>(keep & kWindowMask));
            ended = decoder_.Decode();
            const std::int64_t now = decoder_.done;
            Hand(now);
            if (ended || (now != flushed_ && flushed_ + kWindow - now < kRoomKept))
                Deliver(now);
            WriteBehind::Result result;
            while (!stopped_ && writer_.InFlight() > 0 && writer_.TryTake(&result))
                Took(result);
        }
        while (!stopped_ && reportCount_ > 0 && writer_.InFlight() > 0)
            TakeOne();
    }

private:
    // Queues [handed, to) in pieces that end at the window's wrap.  The
    // oldest piece in flight is always behind an open gate while no report
    // has stopped the entry, so waiting for it to free a slot cannot hang;
    // once stopped, nothing more is queued.
    void Hand(std::int64_t to)
    {
        while (handed_ < to && !stopped_) {
            const std::int64_t wrap = (handed_ / kWindow + 1) * kWindow;
            const std::int64_t end = std::min(to, wrap);
            if (writer_.InFlight() == WriteBehind::kSlots)
                TakeOne();
            writer_.Submit(window_ + (handed_ & kWindowMask), static_cast<std::uint32_t>(end - handed_), true,
                           deliveries_);
            handed_ = end;
        }
    }

    // The inline decoder's delivery of [flushed, to): its reports.
    void Deliver(std::int64_t to)
    {
        const std::int64_t wrap = (flushed_ / kWindow + 1) * kWindow;
        const std::int32_t done = decoder_.done;
        const std::int32_t left = decoder_.left;
        if ((to & kWindowMask) < (flushed_ & kWindowMask)) {
            Queue({flushed_, wrap, done, left, false});
            Queue({wrap, to, done, left, true});
        } else {
            Queue({flushed_, to, done, left, true});
        }
        flushed_ = to;
        ++deliveries_;
        MakeReports();
    }

    void Queue(const Report &report) { reports_[(reportHead_ + reportCount_++) % kMaxReports] = report; }

    void TakeOne() { Took(writer_.Take()); }

    // A piece's result, in order: its bytes are released.
    void Took(const WriteBehind::Result &result)
    {
        const std::int64_t begin = released_;
        released_ += result.asked;
        // The piece joins the one before it unless a report starts with it.
        if (writtenCount_ == 0 || StartsReport(begin))
            written_[(writtenHead_ + writtenCount_++) % kMaxWritten] = {begin, 0, false, 0};
        Written &last = written_[(writtenHead_ + writtenCount_ - 1) % kMaxWritten];
        last.end = released_;
        if (!last.shortWrite)
            last.written += result.written;
        last.shortWrite = last.shortWrite || result.written < result.asked;
        last.crc = result.crc;
        MakeReports();
    }

    // Reports start at the window's wrap and at deliveries: the last one, or
    // an earlier one whose reports are still waiting for their bytes.
    bool StartsReport(std::int64_t pos) const
    {
        if (pos % kWindow == 0 || pos == flushed_)
            return true;
        for (std::uint32_t k = 0; k < reportCount_; ++k)
            if (reports_[(reportHead_ + k) % kMaxReports].begin == pos)
                return true;
        return false;
    }

    // The reports whose bytes are all written, in order.
    void MakeReports()
    {
        TransferState &transfer = session_.transfer;
        while (!stopped_ && reportCount_ > 0) {
            const Report &report = reports_[reportHead_];
            if (report.end > released_)
                return;
            std::uint32_t written = 0;
            bool shortWrite = false;
            while (writtenCount_ > 0 && written_[writtenHead_].end <= report.end) {
                const Written &w = written_[writtenHead_];
                written = w.written;
                shortWrite = w.shortWrite;
                transfer.dataCrc = w.crc;
                writtenHead_ = (writtenHead_ + 1) % kMaxWritten;
                --writtenCount_;
            }
            const auto asked = static_cast<std::uint32_t>(report.end - report.begin);
            if (shortWrite || written < asked)
                session_.status = QM_STATUS_WRITE_FAILED;
            transfer.bytesDone = report.done;
            transfer.unpackedLeft = report.left;
            ReportProgress(session_, asked, written);
            const bool last = report.lastOfDelivery;
            reportHead_ = (reportHead_ + 1) % kMaxReports;
            --reportCount_;
            if (last) {
                if (session_.status != QM_STATUS_OK)
                    stopped_ = true;
                else
                    writer_.OpenGate(++reportedDeliveries_);
            }
        }
    }

    ExportSession &session_;
    StreamDecoder &decoder_;
    WriteBehind &writer_;
    std::uint8_t *window_;
    std::int64_t handed_ = 0;
    std::int64_t released_ = 0;
    std::int64_t flushed_ = 0;
    Report reports_[kMaxReports] = {};
    std::uint32_t reportHead_ = 0;
    std::uint32_t reportCount_ = 0;
    Written written_[kMaxWritten] = {};
    std::uint32_t writtenHead_ = 0;
    std::uint32_t writtenCount_ = 0;
    std::uint32_t deliveries_ = 0;          // deliveries found so far
    std::uint32_t reportedDeliveries_ = 0;  // deliveries whose reports are made
    bool stopped_ = false;  // a delivery ended with a status: no more reports
};

}  // namespace

bool UnpackStreamBehind(ExportSession &session, PackedSource *source, std::uint8_t *window)
{
    TransferState &transfer = session.transfer;
    WriteBehind writer;
    if (!writer.Start(transfer.output, transfer.dataCrc))
        return false;
    transfer.bytesDone = 0;
    session.decoder.Start(source, window, transfer.unpackedLeft);
    transfer.unpackedLeft = session.decoder.left;
    transfer.bytesDone = session.decoder.done;
    StreamBehind(session, writer, window).Run();
    writer.Stop();
    return true;
}

}  // namespace qm
