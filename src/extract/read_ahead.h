// read_ahead.h - the packed data of a large compressed entry read ahead of
// the decoder, on the writer thread (write_behind.h), as that thread's chore.
//
// The writer thread reads the entry's packed bytes from the carrier into a
// ring of kBlocks blocks and deciphers them there; the decoder, on the
// extracting thread, takes them from the ring through this object as its
// source.  Each block is the very read the inline source makes
// (legacy_decoder.cpp): up to kPackedBlockSize bytes, a multiple of 8 so
// that the cipher's blocks never straddle two reads, bounded by the entry's
// packed size, after the chaining value when the entry starts with one.  A
// block that comes back short is the last: nothing is read after it.  So
// the decoder sees the bytes and the end it sees inline, cut carrier and
// all.
//
// The writer thread works on copies of the reader's state taken before it
// starts (the carrier, the key state, the cipher method, the packed bytes
// left): it touches the carrier, the ring and those copies, nothing of the
// session.  The session's own reader state moves on the extracting thread
// as the decoder takes each block, as it moves inline when the source reads
// that block: packedLeft, readIvFirst and the key's chaining value, so they
// end as inline.  Only the carrier's position differs: up to kBlocks blocks
// further on, or wherever the read-ahead stood when the entry stopped.  The
// driver seeks to each entry's data; nothing reads on from there.
//
// Sleeping and waking (tens of microseconds each on a virtual machine):
// the extracting thread sleeps only on an empty ring, and the writer's
// notify after each block is a load and no system call unless it does.
// The writer thread looks at the ring whenever it is awake (before each
// write) and reads it full; it is woken for the ring alone only once no
// more than kWakeAtReady blocks are left to take, not once per block.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "crypto/cipher.h"
#include "extract/pipeline.h"
#include "extract/write_behind.h"
#include "platform/file.h"
#include "unpack/bit_input.h"

namespace qm {

struct ExportSession;

class ReadAhead final : public PackedSource, public WriterChore {
public:
    // 384 KiB: at the decoder's pace on mixed data (about 45 MB/s of packed
    // bytes) a full ring lasts some 8 ms of decoding.
    static constexpr std::uint32_t kBlocks = 6;
    static constexpr std::size_t kRingSize = std::size_t{kBlocks} * kPackedBlockSize;
    static_assert(kRingSize <= 512 * 1024, "a few hundred KiB in all");
    // Two blocks left (3 ms of decoding) are time enough to wake the
    // writer thread and read four.
    static constexpr std::uint32_t kWakeAtReady = 2;
    static_assert(kWakeAtReady < kBlocks);

    // Takes copies of the session's reader state.  ring holds kRingSize
    // bytes; writer is started with this object as its chore before the
    // first ReadPacked, and stopped before this object goes.
    ReadAhead(ExportSession &session, WriteBehind &writer, std::uint8_t *ring);
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The decoder's source, on the extracting thread.
    std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override;

    // The writer thread's chore: a block to read into a free place.
    bool Ready() const override;
    void Step() override;

private:
    struct Block {
        std::uint32_t got;         // bytes read (fewer than a block: the last)
        std::uint8_t chaining[8];  // the key's chaining value after them
    };

    void TakeBlock();     // waits for the next block and makes it the held one
    void ReleaseBlock();  // the held block is used up: its place is free

    // The extracting thread's.
    ExportSession &session_;
    WriteBehind &writer_;
    std::uint32_t taken_ = 0;               // blocks taken from the ring
    const std::uint8_t *held_ = nullptr;    // the block being handed out
    std::uint32_t heldSize_ = 0;
    std::uint32_t next_ = 0;                // the next of its bytes to hand out
    bool ended_ = false;                    // the held block is the last

    // The writer thread's: the reader's state, copied.
    platform::File *const carrier_;
    DataCipher cipher_;
    const CipherMethod method_;
    std::uint32_t packedLeft_;
    bool readIvFirst_;
    std::uint32_t filledCount_ = 0;         // blocks read
    bool readEnded_ = false;                // the last block is read

    // Shared: a block's place and its Block are the writer's from the
    // moment released_ counts it until filled_ counts it again.
    std::uint8_t *const ring_;
    Block blocks_[kBlocks] = {};
    std::atomic<std::uint32_t> filled_{0};    // blocks read, moved by the writer thread
    std::atomic<std::uint32_t> released_{0};  // blocks used up, moved by the extracting thread
    std::atomic<bool> over_{false};           // the writer thread has read the last block
    Sleeper decoderSleeps_;      // until a block is read
};

}  // namespace qm
