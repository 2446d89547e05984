// unpack.h - the stream decoder: LZ77 over a 1 MiB circular window with
// prefix-coded literals, lengths and distances, tables carried in the stream,
// and an audio mode that predicts bytes per channel.
//
// UnpackStream decodes one entry from a fresh state.  It pulls input through
// ReadPackedData and hands the window to WriteUnpackedData in pieces of just
// under 1 MiB (and at the end).  The driver has set up the reader, DataCrc
// and UnpackedLeft before the call.  A damaged stream is decoded into wrong
// bytes, never outside a buffer; the data CRC rejects it.
#pragma once

#include <cstdint>

#include "unpack/huffman.h"
#include "unpack/tables.h"

namespace qm {

struct DecoderState {
    std::uint8_t *Window;            // 1 MiB, the caller's
    std::uint32_t WritePos;          // where the next byte goes
    std::uint32_t FlushPos;          // FlushPos..WritePos: decoded, not yet written
    std::uint32_t OldDistances[4];   // ring of the last four distances
    std::uint32_t MatchCount;        // next distance goes to OldDistances[MatchCount % 4]
    std::uint32_t LastDistance;
    std::uint32_t LastLength;
    std::uint8_t PreviousLengths[kMaxLengthCount];  // base of delta-coded lengths
    bool AudioMode;
    std::int32_t ChannelCount;       // 1-4 in audio mode
    std::int32_t CurrentChannel;     // 0-3
};

extern DecoderState Decoder;

extern DecodeTable BitLengthTable;
extern DecodeTable MainTable;
extern DecodeTable DistanceTable;
extern DecodeTable RepeatLengthTable;
extern DecodeTable AudioTables[kMaxChannels];

// Decodes one entry into window (1,048,576 bytes) and writes it out.
void UnpackStream(std::uint8_t *window);

// The steps of UnpackStream.
void ResetUnpackState();
void ReadCodeTables();
void CopyMatch(std::uint32_t distance, std::uint32_t length);
void FlushWindow();
void CheckFinalTables();

}  // namespace qm
