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
bool InputStalled = false;

namespace {

// Refills that found the packed data exhausted, and BytesDone at the last
// one.  Two such refills lie more than 8,000 bytes of stale input apart.
std::uint32_t EmptyRefills = 0;
std::int32_t BytesDoneAtEmptyRefill = 0;

}  // namespace

void FillInput()
{
    InputAvailable = ReadPackedData(InputBuffer, kInputBufferSize);
    InputPos = 0;
    InputStalled = false;
    EmptyRefills = 0;
}

void RefillInput()
{
    // The refill points keep InputPos within the last 32 bytes here, so the
    // carried-over bytes hold the next unread bit.
    InputPos %= kInputKeep;
    std::memmove(InputBuffer, InputBuffer + kInputBufferSize - kInputKeep, kInputKeep);
    const std::uint32_t got = ReadPackedData(InputBuffer + kInputKeep, kInputBufferSize - kInputKeep);
    // When the packed data is exhausted, decoding goes on over whatever the
    // buffer still holds; the data CRC rejects the entry.
    InputAvailable = got >= 1 ? got + kInputKeep : InputPos;
    if (got == 0) {
        if (EmptyRefills > 0 && BytesDone == BytesDoneAtEmptyRefill)
            InputStalled = true;
        ++EmptyRefills;
        BytesDoneAtEmptyRefill = BytesDone;
    }
}

}  // namespace qm
