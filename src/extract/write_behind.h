// write_behind.h - a writer thread that takes an entry's output file off the
// extracting thread's hands.
//
// The extracting thread queues pieces of memory; the writer thread writes
// them to the file in the order they came, one after the other, and records
// how many bytes of each the file accepted.  A piece's memory belongs to the
// writer from Submit until its result has been taken: only then may the
// extracting thread fill it again.  The results are taken in the order the
// pieces were queued, always on the extracting thread, which is the one that
// reports progress and sets statuses: the writer thread touches nothing but
// the file, the pieces and its own queue.
//
// Every queued piece is written, whatever became of the pieces before it;
// what a short write means is the extracting thread's to decide.  A piece
// may wait behind a gate: it is written only once the extracting thread has
// opened its gate (after it has seen to the pieces before), and never when
// Stop comes first.
//
// The thread lives for one entry: Start makes it, Stop waits for the last
// piece and joins it (the destructor too), so no thread outlasts the call
// that extracts the entry.
//
// Besides the writes the thread may have a chore (WriterChore): the
// read-ahead of the entry's packed data (read_ahead.h).  It runs a step at a
// time whenever it has one to do, before the next write, and no more once
// Stop has begun.
//
// The two threads meet through atomic counters, not a lock: a waking of a
// sleeping thread costs tens of microseconds on a virtual machine, and a
// lock taken by the other side put the extracting thread to sleep as well.
// Each side sleeps only when it has nothing to do (Sleeper), and is woken
// only by what it waits for: a piece queued behind a closed gate wakes
// nobody.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "extract/sleeper.h"
#include "platform/file.h"

namespace qm {

// Work the writer thread does between its writes, a step at a time.  Both
// calls come on the writer thread only.
class WriterChore {
public:
    // True when a step is waiting to be done.  It reads atomics in their
    // default order, and the extracting thread calls WriteBehind::Wake after
    // whatever may make it true (see Sleeper).
    virtual bool Ready() const = 0;
    // Does one step.
    virtual void Step() = 0;

protected:
    ~WriterChore() = default;
};

class WriteBehind {
public:
    // Pieces queued and not yet taken, at most.
    static constexpr std::uint32_t kSlots = 64;

    struct Result {
        std::uint32_t asked;    // the piece's size
        std::uint32_t written;  // the bytes the file accepted
        std::uint32_t crc;      // the CRC register after the piece (see Submit)
    };

    WriteBehind() = default;
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;
    ~WriteBehind() { Stop(); }

    // Starts the thread writing to file, its CRC register at crc, with a
    // chore beside the writes or none.  False when no thread could be made:
    // nothing has happened then, and the caller writes the entry itself.
    bool Start(platform::File *file, std::uint32_t crc, WriterChore *chore = nullptr);

    // Tells the writer thread that its chore may have a step to do (a
    // load and no system call when the thread is not asleep).
    void Wake() { writerSleeps_.Wake(); }

    // Queues count bytes at data (fewer than kSlots pieces may be waiting).
    // With foldCrc the writer folds the bytes the file accepted into its CRC
    // register; without, the register stays as it is.  The piece is written
    // once the gates up to `gate` are open (gate 0 is always open).
    void Submit(const std::uint8_t *data, std::uint32_t count, bool foldCrc, std::uint32_t gate = 0);

    // Lets the pieces behind gates up to `gate` be written.
    void OpenGate(std::uint32_t gate);

    // Pieces queued and not yet taken.
    std::uint32_t InFlight() const { return submitted_.load(std::memory_order_relaxed) - taken_; }

    // The result of the oldest piece not yet taken: TryTake when it is
    // written already, Take after waiting for it.  Neither is called with
    // nothing in flight.
    bool TryTake(Result *result);
    Result Take();

    // Waits until every queued piece whose gate is open is written and ends
    // the thread; the pieces behind closed gates are not written, and the
    // results not taken are dropped.  Returns the CRC register.
    std::uint32_t Stop();

private:
    struct Slot {
        const std::uint8_t *data;
        std::uint32_t count;
        bool foldCrc;
        std::uint32_t gate;
        std::uint32_t written;
        std::uint32_t crc;
    };

    enum class Work { kWait, kWrite, kChore, kNone };

    void Run();
    bool NextIsOpen(std::uint32_t written) const;  // on the writer thread
    Work NextWork(std::uint32_t written) const;    // kNone: stopping, nothing open
    Result TakeWritten();

    platform::File *file_ = nullptr;
    WriterChore *chore_ = nullptr;
    std::uint32_t crc_ = 0;  // the writer thread's alone while it runs

    // A slot is filled by the extracting thread before submitted_ counts it;
    // the writer reads it, then sets its results before written_ counts it.
    Slot slots_[kSlots] = {};
    // Only the extracting thread changes submitted_, taken_ and openGate_,
    // only the writer written_.
    std::atomic<std::uint32_t> submitted_{0};
    std::atomic<std::uint32_t> written_{0};
    std::atomic<std::uint32_t> openGate_{0};
    std::atomic<bool> stopping_{false};
    std::uint32_t taken_ = 0;
    Sleeper writerSleeps_;  // until a piece may be written, a chore's step, or the stop
    Sleeper takerSleeps_;   // until the oldest piece is written
    std::thread thread_;
};

}  // namespace qm
