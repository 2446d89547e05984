// stream_decoder.h - the stream decoder as an object: LZ77 over a 1 MiB
// circular window with prefix-coded literals, lengths and distances, tables
// carried in the stream, and an audio mode that predicts bytes per channel.
//
// A StreamDecoder holds everything one stream needs: the input buffer and
// its cursor, the decoding tables, the match history and the audio
// predictors.  The window (1 MiB) is the caller's.  Packed bytes come from a
// PackedSource; decoded bytes stay in the window until the caller takes them,
// so the decoder pushes nothing anywhere: Decode() runs until the window
// holds as many undelivered bytes as it can (or the stream ends), the caller
// takes Pending() and calls Delivered(), and Decode() goes on.
//
// Different decoders share nothing: any number may run at once, each used by
// one thread at a time.  A damaged stream is decoded into wrong bytes, never
// outside a buffer; the data CRC rejects it.
//
// Memory: about 160 KB of tables and 8 KB of input buffer per decoder
// (sizeof(StreamDecoder)), plus the caller's 1 MiB window.
#pragma once

#include <cstdint>

#include "unpack/audio.h"
#include "unpack/bit_input.h"
#include "unpack/huffman.h"
#include "unpack/lz_fast.h"
#include "unpack/match_copy.h"
#include "unpack/tables.h"

namespace qm {

struct DecoderState {
    std::uint8_t *Window;            // 1 MiB, the caller's
    std::uint32_t WritePos;          // where the next byte goes
    std::uint32_t FlushPos;          // FlushPos..WritePos: decoded, not yet delivered
    MatchState History;              // last four distances, last match
    std::uint8_t PreviousLengths[kMaxLengthCount];  // base of delta-coded lengths
    bool AudioMode;
    std::int32_t ChannelCount;       // 1-4 in audio mode
    std::int32_t CurrentChannel;     // 0-3
};

// Each code's table sized for its alphabet (about 160 KB for the eight).
using BitLengthTable = DecodeTableOf<kBitLengthSymbols>;
using MainTable = DecodeTableOf<kMainSymbols>;
using DistanceTable = DecodeTableOf<kDistanceSymbols>;
using RepeatLengthTable = DecodeTableOf<kRepeatLengthSymbols>;
using AudioTable = DecodeTableOf<kAudioSymbols>;

struct DecodeTables {
    BitLengthTable bitLength;
    MainTable main;
    DistanceTable distance;
    RepeatLengthTable repeatLength;
    AudioTable audio[kMaxChannels];
};
// The root (2048 entries) of every table, and per table its alphabet + 4
// subtables of 16: 159 KiB in all, where eight tables of the main
// alphabet's size took 223 KiB.
static_assert(sizeof(DecodeTables) < 160 * 1024);

// Decoded bytes not yet delivered: one piece, or two across the window's wrap.
struct PendingBytes {
    const std::uint8_t *first;
    std::uint32_t firstSize;
    const std::uint8_t *second;
    std::uint32_t secondSize;
};

class StreamDecoder {
public:
    // Starts a stream of `size` unpacked bytes: clears the state and the
    // window (kWindowSize bytes), fills the input and reads the first tables.
    // On the window of its last stream it clears only what that stream wrote:
    // the caller leaves the window to the decoder between streams, and a
    // window it hands over anew, even at the same address, comes zeroed (as
    // from calloc) or goes to a decoder of its own.
    void Start(PackedSource *source, std::uint8_t *window, std::int32_t size);

    // Decodes until the undelivered bytes must be taken before more can be
    // made, or until the stream ends; true at the end (the last bytes are
    // then pending).  The output never grows beyond the stated size.
    bool Decode();

    PendingBytes Pending() const;
    // The pending bytes have been taken.
    void Delivered() { state.FlushPos = state.WritePos; }

    // Decode() stops when fewer than kRoomKept bytes of room are left before
    // the undelivered bytes.
    static constexpr std::uint32_t kRoomKept = 270;
    // For a caller that hands the window out in pieces and gets them back
    // later (a writer behind the decoder): the bytes from windowPos up to
    // WritePos count as undelivered, so Decode() stops short of them.  A
    // windowPos equal to WritePos leaves the whole window free.
    void KeepFrom(std::uint32_t windowPos) { state.FlushPos = windowPos & kWindowMask; }

    // Unpacked bytes still to come, minus 1 (the loop runs while it is 0 or
    // more), and bytes made so far.
    std::int32_t left;
    std::int32_t done;

    // The parts, for the decoding loop's helpers and for tests.
    void Reset(std::uint32_t windowBytesUsed);
    void ReadCodeTables();
    void CheckFinalTables();

    // The build of the fast loop the decoder runs: the fastest here, unless a
    // test sets another that runs (LzLoopRuns).
    LzLoop lzLoop = FastestLzLoop();

    PackedInput input;
    DecoderState state;
    DecodeTables tables;
    AudioState audio;

private:
    // The window the last stream ran on; all of it but that stream's bytes
    // is zero.
    const std::uint8_t *clearedWindow_ = nullptr;
};

}  // namespace qm
