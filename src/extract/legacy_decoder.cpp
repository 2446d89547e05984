// legacy_decoder.cpp - the exports' stream decoder: one StreamDecoder that
// pulls the entry's packed bytes through ReadPackedData and hands its window
// to WriteUnpackedData, with the names its parts have always had.
//
// The exports extract one entry at a time, so one decoder serves them all;
// the handle API gives every archive a decoder of its own instead.
#include <cstring>

#include "extract/pipeline.h"
#include "extract/transfer_behind.h"
#include "state/status.h"
#include "unpack/audio.h"
#include "unpack/bit_input.h"
#include "unpack/unpack.h"

namespace qm {

namespace {

class PipelineSource final : public PackedSource {
public:
    std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override
    {
        return ReadPackedData(buffer, count);
    }
};

PipelineSource TheSource;

StreamDecoder MakeDecoder()
{
    StreamDecoder d{};
    d.input.source = &TheSource;
    return d;
}

StreamDecoder TheDecoder = MakeDecoder();

// Moves the decoder's counters to the transfer state, where the writer's
// progress reports and the exports' callers look for them.
void PublishCounters()
{
    UnpackedLeft = TheDecoder.left;
    BytesDone = TheDecoder.done;
}

}  // namespace

StreamDecoder &ExportsDecoder() { return TheDecoder; }

std::uint8_t (&InputBuffer)[kInputBufferSize + kInputPadding] = TheDecoder.input.bytes;
std::uint32_t &InputPos = TheDecoder.input.pos;
std::uint32_t &InputBitPos = TheDecoder.input.bitPos;
std::uint32_t &InputAvailable = TheDecoder.input.available;
std::uint32_t &InputEnd = TheDecoder.input.end;

DecoderState &Decoder = TheDecoder.state;
AudioChannelState (&AudioChannels)[kMaxChannels] = TheDecoder.audio.channels;
std::int32_t &ChannelDelta = TheDecoder.audio.channelDelta;

bool InputSpent() { return TheDecoder.input.Spent(); }
void FillInput() { TheDecoder.input.Fill(); }
void RefillInput() { TheDecoder.input.Refill(); }
std::uint16_t PeekBits() { return TheDecoder.input.Peek(); }
void SkipBits(std::uint32_t n) { TheDecoder.input.Skip(n); }
std::uint32_t ReadBits(std::uint32_t n) { return TheDecoder.input.Read(n); }

void ResetAudioState() { std::memset(&TheDecoder.audio, 0, sizeof TheDecoder.audio); }

std::uint8_t DecodeAudioByte(std::uint32_t symbol)
{
    AudioRun run;
    run.Load(TheDecoder.audio);
    const std::uint8_t byte = run.Decode(TheDecoder.state.CurrentChannel, symbol);
    run.Store(TheDecoder.audio);
    return byte;
}

void ResetUnpackState() { TheDecoder.Reset(); }
void ReadCodeTables() { TheDecoder.ReadCodeTables(); }
void CheckFinalTables() { TheDecoder.CheckFinalTables(); }

void FlushWindow()
{
    const PendingBytes p = TheDecoder.Pending();
    WriteUnpackedData(p.first, p.firstSize);
    if (p.second)
        WriteUnpackedData(p.second, p.secondSize);
    TheDecoder.Delivered();
}

void UnpackStream(std::uint8_t *window)
{
    // A large entry is written on a thread of its own while decoding goes on.
    if (UnpackedLeft >= static_cast<std::int32_t>(kWriteBehindMinimum) &&
        UnpackStreamBehind(TheDecoder, &TheSource, window))
        return;
    UnpackStreamInline(window);
}

void UnpackStreamInline(std::uint8_t *window)
{
    BytesDone = 0;
    TheDecoder.Start(&TheSource, window, UnpackedLeft);
    PublishCounters();
    for (;;) {
        const bool ended = TheDecoder.Decode();
        PublishCounters();
        FlushWindow();
        if (ended || ArchiveStatus != QM_STATUS_OK)
            return;
    }
}

}  // namespace qm
