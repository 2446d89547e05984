// read_ahead.cpp - the ring of packed blocks between the writer thread,
// which reads them, and the decoder, which takes them.
//
// filled_ counts the blocks read, released_ the blocks used up; the ring
// holds filled_ - released_ of them.  Each counter is moved by one thread
// only, stored after the block it counts is whole (or free) and loaded by
// the other before it looks at the block, all in the atomics' default
// (sequentially consistent) order, which the sleeps need (Sleeper in
// write_behind.h): so a block's bytes and its Block are seen whole by the
// side that reads them next, and no wake is missed.
#include "extract/read_ahead.h"

#include <algorithm>
#include <cstring>

#include "extract/export_session.h"

namespace qm {

static_assert(kPackedBlockSize % 8 == 0, "cipher blocks never straddle two reads");

ReadAhead::ReadAhead(ExportSession &session, WriteBehind &writer, std::uint8_t *ring)
    : session_(session), writer_(writer), carrier_(session.carrier), cipher_(session.cipher),
      method_(session.transfer.activeCipher), packedLeft_(session.transfer.packedLeft),
      readIvFirst_(session.transfer.readIvFirst), ring_(ring)
{
}

// ---- the extracting thread ----------------------------------------------------------

std::uint32_t ReadAhead::ReadPacked(std::uint8_t *buffer, std::uint32_t count)
{
    std::uint32_t done = 0;
    while (done < count) {
        if (next_ == heldSize_) {
            if (ended_)
                break;
            TakeBlock();
            if (heldSize_ == 0)
                break;
        }
        const std::uint32_t n = std::min(count - done, heldSize_ - next_);
        std::memcpy(buffer + done, held_ + next_, n);
        next_ += n;
        done += n;
        if (next_ == heldSize_)
            ReleaseBlock();
    }
    return done;
}

void ReadAhead::TakeBlock()
{
    if (filled_.load() == taken_) {
        // The writer thread was woken as the ring ran low; it may since
        // have gone to sleep with a write done and the ring not yet low.
        writer_.Wake();
        decoderSleeps_.SleepUntil([&] { return filled_.load() != taken_; });
    }
    const std::uint32_t place = taken_ % kBlocks;
    const Block &block = blocks_[place];
    held_ = ring_ + std::size_t{place} * kPackedBlockSize;
    heldSize_ = block.got;
    next_ = 0;
    ended_ = heldSize_ < kPackedBlockSize;
    ++taken_;
    // The session's reader state as the inline source's read of this block
    // leaves it.
    TransferState &transfer = session_.transfer;
    transfer.packedLeft -= heldSize_;
    transfer.readIvFirst = false;
    std::memcpy(session_.cipher.chaining, block.chaining, sizeof block.chaining);
    if (heldSize_ == 0)
        ReleaseBlock();
}

void ReadAhead::ReleaseBlock()
{
    released_.store(taken_);
    if (!over_.load(std::memory_order_relaxed) && filled_.load() - taken_ <= kWakeAtReady)
        writer_.Wake();
}

// ---- the writer thread --------------------------------------------------------------

bool ReadAhead::Ready() const
{
    return !readEnded_ && filledCount_ - released_.load() < kBlocks;
}

void ReadAhead::Step()
{
    const std::uint32_t place = filledCount_ % kBlocks;
    Block &block = blocks_[place];
    block.got = ReadPackedBytes(carrier_, cipher_, method_, packedLeft_, readIvFirst_,
                                ring_ + std::size_t{place} * kPackedBlockSize, kPackedBlockSize);
    std::memcpy(block.chaining, cipher_.chaining, sizeof block.chaining);
    if (block.got < kPackedBlockSize) {
        readEnded_ = true;
        over_.store(true, std::memory_order_relaxed);
    }
    ++filledCount_;
    filled_.store(filledCount_);
    decoderSleeps_.Wake();
}

}  // namespace qm
