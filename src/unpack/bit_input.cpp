// bit_input.cpp - filling and refilling the decoder's input buffer from the
// entry's packed data.
#include "unpack/bit_input.h"

#include <cstring>

namespace qm {

void PackedInput::Fill()
{
    // The last step of a stream cut short may read a few bits past its data.
    // Cleared here, those bits are zeros or bytes of this entry's own earlier
    // reads, never what the entry before left: a damaged entry decodes the
    // same whatever was decoded before it, and no byte of another entry can
    // reach its output.
    std::memset(bytes, 0, sizeof bytes);
    available = source ? source->ReadPacked(bytes, kInputBufferSize) : 0;
    pos = 0;
    end = available;
}

void PackedInput::Refill()
{
    // The refill points keep pos within the last 32 bytes here, so the
    // carried-over bytes hold the next unread bit.
    pos %= kInputKeep;
    std::memmove(bytes, bytes + kInputBufferSize - kInputKeep, kInputKeep);
    const std::uint32_t got =
        source ? source->ReadPacked(bytes + kInputKeep, kInputBufferSize - kInputKeep) : 0;
    // When the packed data is exhausted, available drops to the cursor (the
    // end-of-stream step then reads no further symbol); the real bytes are
    // only those of the carried-over 32 that were real before.
    available = got >= 1 ? got + kInputKeep : pos;
    if (got >= 1)
        end = got + kInputKeep;
    else
        end = end > kInputBufferSize - kInputKeep ? end - (kInputBufferSize - kInputKeep) : 0;
}

}  // namespace qm
