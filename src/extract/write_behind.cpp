// write_behind.cpp - the writer thread and its queue.
//
// The queue is a ring of kSlots pieces.  The extracting thread fills a slot
// and then moves submitted_; the writer writes the piece outside any lock,
// sets the slot's results and then moves written_.  A counter's store comes
// after the slot's contents and its load before them (sequentially
// consistent, which includes release and acquire), so a slot is seen whole
// by the side that reads it next.  A side with nothing to do sleeps
// (Sleeper, write_behind.h); the other wakes it after a change it waits
// for.
#include "extract/write_behind.h"

#include <system_error>

#include "crypto/crc32.h"

namespace qm {

bool WriteBehind::Start(platform::File *file, std::uint32_t crc, WriterChore *chore)
{
    file_ = file;
    chore_ = chore;
    crc_ = crc;
    submitted_.store(0);
    written_.store(0);
    openGate_.store(0);
    stopping_.store(false);
    taken_ = 0;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error &) {
        return false;  // no thread to be had: the caller writes inline
    }
    return true;
}

void WriteBehind::Run()
{
    for (std::uint32_t written = 0;; ++written) {
        Work work = Work::kWait;
        for (;;) {
            writerSleeps_.SleepUntil([&] {
                work = NextWork(written);
                return work != Work::kWait;
            });
            if (work != Work::kChore)
                break;
            chore_->Step();
        }
        if (work == Work::kNone)
            return;  // stopping, and everything that may be written is
        Slot &slot = slots_[written % kSlots];
        const Slot piece = slot;
        const std::uint32_t accepted =
            piece.count > 0 && file_ ? static_cast<std::uint32_t>(platform::Write(file_, piece.data, piece.count)) : 0;
        if (piece.foldCrc)
            crc_ = Crc32Data(crc_, piece.data, static_cast<std::int32_t>(accepted));
        slot.written = accepted;
        slot.crc = crc_;
        written_.store(written + 1);
        takerSleeps_.Wake();
    }
}

bool WriteBehind::NextIsOpen(std::uint32_t written) const
{
    return written != submitted_.load() && slots_[written % kSlots].gate <= openGate_.load();
}

// The chore comes first: its steps are short (a read of 64 KiB), and the
// decoder may be waiting for the next one, while a write of a delivery is
// waited for only once both buffers are full.
WriteBehind::Work WriteBehind::NextWork(std::uint32_t written) const
{
    const bool stopping = stopping_.load();
    if (chore_ && !stopping && chore_->Ready())
        return Work::kChore;
    if (NextIsOpen(written))
        return Work::kWrite;
    return stopping ? Work::kNone : Work::kWait;
}

void WriteBehind::Submit(const std::uint8_t *data, std::uint32_t count, bool foldCrc, std::uint32_t gate)
{
    const std::uint32_t submitted = submitted_.load();
    slots_[submitted % kSlots] = {data, count, foldCrc, gate, 0, 0};
    submitted_.store(submitted + 1);
    // A piece behind a closed gate waits for OpenGate, which wakes the writer.
    if (gate <= openGate_.load())
        writerSleeps_.Wake();
}

void WriteBehind::OpenGate(std::uint32_t gate)
{
    openGate_.store(gate);
    writerSleeps_.Wake();
}

WriteBehind::Result WriteBehind::TakeWritten()
{
    const Slot &slot = slots_[taken_ % kSlots];
    ++taken_;
    return {slot.count, slot.written, slot.crc};
}

bool WriteBehind::TryTake(Result *result)
{
    if (written_.load() == taken_)
        return false;
    *result = TakeWritten();
    return true;
}

WriteBehind::Result WriteBehind::Take()
{
    takerSleeps_.SleepUntil([&] { return written_.load() != taken_; });
    return TakeWritten();
}

std::uint32_t WriteBehind::Stop()
{
    if (thread_.joinable()) {
        stopping_.store(true);
        writerSleeps_.Wake();
        thread_.join();
    }
    return crc_;
}

}  // namespace qm
