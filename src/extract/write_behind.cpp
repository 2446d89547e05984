// write_behind.cpp - the writer thread and its queue.
//
// The queue is a ring of kSlots pieces under one mutex.  Pieces are large
// (a hundred kilobytes and more), so a lock and a wake-up per piece cost
// nothing measurable; the write itself happens outside the lock.
#include "extract/write_behind.h"

#include <system_error>

#include "crypto/crc32.h"

namespace qm {

bool WriteBehind::Start(platform::File *file, std::uint32_t crc)
{
    file_ = file;
    crc_ = crc;
    submitted_ = written_ = taken_ = 0;
    openGate_ = 0;
    stopping_ = false;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error &) {
        return false;  // no thread to be had: the caller writes inline
    }
    return true;
}

void WriteBehind::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        workCame_.wait(lock, [this] { return stopping_ || NextIsOpen(); });
        if (!NextIsOpen())
            return;  // stopping, and everything that may be written is
        Slot &slot = slots_[written_ % kSlots];
        const Slot piece = slot;
        lock.unlock();
        const std::uint32_t written =
            piece.count > 0 && file_ ? static_cast<std::uint32_t>(platform::Write(file_, piece.data, piece.count)) : 0;
        if (piece.foldCrc)
            crc_ = Crc32Data(crc_, piece.data, static_cast<std::int32_t>(written));
        lock.lock();
        slot.written = written;
        slot.crc = crc_;
        ++written_;
        pieceDone_.notify_one();
    }
}

bool WriteBehind::NextIsOpen() const
{
    return written_ != submitted_ && slots_[written_ % kSlots].gate <= openGate_;
}

void WriteBehind::Submit(const std::uint8_t *data, std::uint32_t count, bool foldCrc, std::uint32_t gate)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[submitted_ % kSlots] = {data, count, foldCrc, gate, 0, 0};
        ++submitted_;
    }
    workCame_.notify_one();
}

void WriteBehind::OpenGate(std::uint32_t gate)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        openGate_ = gate;
    }
    workCame_.notify_one();
}

WriteBehind::Result WriteBehind::TakeLocked()
{
    const Slot &slot = slots_[taken_ % kSlots];
    ++taken_;
    return {slot.count, slot.written, slot.crc};
}

bool WriteBehind::TryTake(Result *result)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (written_ == taken_)
        return false;
    *result = TakeLocked();
    return true;
}

WriteBehind::Result WriteBehind::Take()
{
    std::unique_lock<std::mutex> lock(mutex_);
    pieceDone_.wait(lock, [this] { return written_ != taken_; });
    return TakeLocked();
}

std::uint32_t WriteBehind::Stop()
{
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        workCame_.notify_one();
        thread_.join();
    }
    return crc_;
}

}  // namespace qm
