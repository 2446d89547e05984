// bit_input.cpp - filling and refilling the decoder's input buffer from the
// entry's packed data.
#include "unpack/bit_input.h"

#include <cstring>

#include "extract/pipeline.h"

namespace qm {

std::uint8_t InputBuffer[kInputBufferSize + kInputPadding];
std::uint32_t InputPos = 0;
std::uint32_t InputBitPos = 0;
std::uint32_t InputAvailable = 0;
std::uint32_t InputEnd = 0;

void FillInput()
{
    // The last step of a stream cut short may read a few bits past its data.
    // Cleared here, those bits are zeros or bytes of this entry's own earlier
    // reads, never what the entry before left: a damaged entry decodes the
    // same whatever was extracted before it, and no byte of another entry
    // can reach its output.
    std::memset(InputBuffer, 0, sizeof InputBuffer);
    InputAvailable = ReadPackedData(InputBuffer, kInputBufferSize);
    InputPos = 0;
    InputEnd = InputAvailable;
}

void RefillInput()
{
    // The refill points keep InputPos within the last 32 bytes here, so the
    // carried-over bytes hold the next unread bit.
    InputPos %= kInputKeep;
    std::memmove(InputBuffer, InputBuffer + kInputBufferSize - kInputKeep, kInputKeep);
    const std::uint32_t got = ReadPackedData(InputBuffer + kInputKeep, kInputBufferSize - kInputKeep);
    // When the packed data is exhausted, InputAvailable drops to the cursor
    // (the end-of-stream step then reads no further symbol); the real bytes
    // are only those of the carried-over 32 that were real before.
    InputAvailable = got >= 1 ? got + kInputKeep : InputPos;
    if (got >= 1)
        InputEnd = got + kInputKeep;
    else
        InputEnd = InputEnd > kInputBufferSize - kInputKeep ? InputEnd - (kInputBufferSize - kInputKeep) : 0;
}

}  // namespace qm
