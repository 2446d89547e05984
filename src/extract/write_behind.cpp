// write_behind.cpp - the writer thread and its queue.
//
// The queue is a ring of kSlots pieces.  The extracting thread fills a slot
// and then moves submitted_; the writer writes the piece outside any lock,
// sets the slot's results and then moves written_.  Each counter is stored
// with release and loaded with acquire, so a slot's contents are seen
// whole by the side that reads them next.
//
// Sleeping: the writer waits on events_, the extracting thread on
// written_.  A waiter takes the counter's value before it tests for work,
// and the other side moves the counter after it made the work visible, so
// a change that comes between the test and the sleep ends the sleep at
// once (the wait compares the value again as it falls asleep).  A notify
// with no thread asleep is a load and no system call.
#include "extract/write_behind.h"

#include <system_error>

#include "crypto/crc32.h"

namespace qm {

bool WriteBehind::Start(platform::File *file, std::uint32_t crc, WriterChore *chore)
{
    file_ = file;
    chore_ = chore;
    crc_ = crc;
    submitted_.store(0, std::memory_order_relaxed);
    written_.store(0, std::memory_order_relaxed);
    openGate_.store(0, std::memory_order_relaxed);
    stopping_.store(false, std::memory_order_relaxed);
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
    std::uint32_t written = 0;
    for (;;) {
        const Work work = WaitForWork(written);
        if (work == Work::kNone)
            break;
        if (work == Work::kChore) {
            chore_->Step();
            continue;
        }
        Slot &slot = slots_[written % kSlots];
        const Slot piece = slot;
        const std::uint32_t accepted =
            piece.count > 0 && file_ ? static_cast<std::uint32_t>(platform::Write(file_, piece.data, piece.count)) : 0;
        if (piece.foldCrc)
            crc_ = Crc32Data(crc_, piece.data, static_cast<std::int32_t>(accepted));
        slot.written = accepted;
        slot.crc = crc_;
        ++written;
        written_.store(written, std::memory_order_release);
        written_.notify_one();
    }
}

bool WriteBehind::NextIsOpen(std::uint32_t written) const
{
    return written != submitted_.load(std::memory_order_acquire) &&
           slots_[written % kSlots].gate <= openGate_.load(std::memory_order_acquire);
}

// The chore comes first: its steps are short (a read of 64 KiB), and the
// decoder may be waiting for the next one, while a write of a delivery is
// waited for only once both buffers are full.
WriteBehind::Work WriteBehind::WaitForWork(std::uint32_t written)
{
    for (;;) {
        const std::uint32_t seen = events_.load(std::memory_order_acquire);
        const bool stopping = stopping_.load(std::memory_order_acquire);
        if (chore_ && !stopping && chore_->Ready())
            return Work::kChore;
        if (NextIsOpen(written))
            return Work::kWrite;
        if (stopping)
            return Work::kNone;  // stopping, and everything that may be written is
        events_.wait(seen, std::memory_order_acquire);
    }
}

void WriteBehind::Signal()
{
    events_.fetch_add(1, std::memory_order_release);
    events_.notify_one();
}

void WriteBehind::Submit(const std::uint8_t *data, std::uint32_t count, bool foldCrc, std::uint32_t gate)
{
    const std::uint32_t submitted = submitted_.load(std::memory_order_relaxed);
    slots_[submitted % kSlots] = {data, count, foldCrc, gate, 0, 0};
    submitted_.store(submitted + 1, std::memory_order_release);
    // A piece behind a closed gate waits for OpenGate, which wakes the writer.
    if (gate <= openGate_.load(std::memory_order_relaxed))
        Signal();
}

void WriteBehind::OpenGate(std::uint32_t gate)
{
    openGate_.store(gate, std::memory_order_release);
    Signal();
}

WriteBehind::Result WriteBehind::TakeWritten()
{
    const Slot &slot = slots_[taken_ % kSlots];
    ++taken_;
    return {slot.count, slot.written, slot.crc};
}

bool WriteBehind::TryTake(Result *result)
{
    if (written_.load(std::memory_order_acquire) == taken_)
        return false;
    *result = TakeWritten();
    return true;
}

WriteBehind::Result WriteBehind::Take()
{
    while (written_.load(std::memory_order_acquire) == taken_)
        written_.wait(taken_, std::memory_order_acquire);
    return TakeWritten();
}

std::uint32_t WriteBehind::Stop()
{
    if (thread_.joinable()) {
        stopping_.store(true, std::memory_order_release);
        Signal();
        thread_.join();
    }
    return crc_;
}

}  // namespace qm
