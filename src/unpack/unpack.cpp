// unpack.cpp - the decoding loop, the audio runs and the window flush.
//
// One step of the loop decodes one main symbol:
//   0-255    a literal byte
//   256      repeat the last match (its length and distance)
//   257-260  a match at one of the last four distances (257 the latest); its
//            length slot comes from RepeatLengthTable, length = base + 2 +
//            bits, + 1 each from distances 0x101, 0x2000 and 0x40000 up
//   261-268  a match of length 2 at a short distance (1-256)
//   269      new tables follow
//   270-297  length slot s - 270, length = base + 3 + bits, then a distance
//            slot from DistanceTable, distance = base + 1 + bits; + 1 each to
//            the length from distances 0x2000 and 0x40000 up
// Every match records its distance in the ring of the last four.
//
// In audio mode a step decodes one symbol with the table of the current
// channel: 0-255 become a byte through that channel's predictor (audio.h),
// and the channel moves on, back to 0 after the last; 256 reads new tables.
// The match history stays as it was for a later switch back to LZ mode.
//
// UnpackedLeft starts one below the entry's size and the loop runs while it
// is 0 or more, or until a step finds no real bit left once the packed data
// is used up (see InputEnd in bit_input.h).  A match that would reach past
// the entry's size is cut at it: the output never grows beyond the stated
// size.
//
// The window is flushed when fewer than 270 bytes of room remain between
// WritePos and the undelivered bytes; no step writes more than 260, so
// undelivered bytes are never overwritten.
//
// The loop keeps the cursor, the write position, the counters and the
// audio predictors in local variables (window stores would otherwise force
// every global to be reloaded) and stores them back around the calls that use
// the globals.  It makes single steps only near an edge (a refill point, the
// end of the real input, a flush, the window's wrap, the entry's end) and at
// table reads.  Elsewhere it hands whole runs to the fast paths: rounds of
// LZ steps to DecodeLzFast (lz_fast.h), and runs of audio bytes to
// DecodeAudioRun below; both read bits through a 64-bit buffer (wide_bits.h)
// and decode with the entries of the two-level tables (huffman.h).
#include "unpack/unpack.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "state/status.h"
#include "extract/pipeline.h"
#include "unpack/audio.h"
#include "unpack/bit_input.h"
#include "unpack/lz_fast.h"
#include "unpack/match_copy.h"
#include "unpack/wide_bits.h"

namespace qm {

DecoderState Decoder;
DecodeTable BitLengthTable;
DecodeTable MainTable;
DecodeTable DistanceTable;
DecodeTable RepeatLengthTable;
DecodeTable AudioTables[kMaxChannels];

namespace {

constexpr std::uint32_t kRefillBeforeStep = 8162;  // a step consumes at most 51 bits
constexpr std::uint32_t kFlushRoom = 270;          // a step writes at most 260 bytes
constexpr std::uint32_t kFinalSymbolBytes = 5;

// One audio symbol of the table at the front of bits, consumed.
inline std::uint32_t DecodeAudioSymbol(const DecodeTable &table, WideBits &bits)
{
    const std::uint32_t entry = LookupEntry64(table, bits.buf);
    bits.Skip(EntryBits(entry));
    return EntryValue(entry);
}

template <int C>
std::uint32_t DecodeAudioFrames(WideBits &bits, AudioRun &predictors, std::uint32_t frames, std::uint8_t *out,
                                bool &newTables)
{
    // A refill leaves 56 bits: enough for three symbols of up to 15 bits.
    auto next = [&](int k) {
        if (k % 3 == 0)
            bits.Refill();
        return DecodeAudioSymbol(AudioTables[k], bits);
    };
    return predictors.DecodeFrames<C>(next, frames, out, newTables);
}

// Decodes up to n audio bytes to out, the first for channel; stops after a
// symbol 256 (newTables).  The caller has made sure that n symbols stay
// inside the input buffer and n bytes inside the window.  Returns the bytes
// made; channel moves on.
std::uint32_t DecodeAudioRun(BitCursor &in, AudioRun &predictors, std::int32_t &channel,
                             std::int32_t channelCount, std::uint8_t *out, std::uint32_t n, bool &newTables)
{
    WideBits bits;
    bits.Start(in);
    std::uint32_t made = 0;
    const auto count = static_cast<std::uint32_t>(channelCount);
    if (channel == 0 && n >= count) {
        // Whole frames: symbol and byte for each channel in turn.
        const std::uint32_t frames = n / count;
        switch (channelCount) {
        case 1: made = DecodeAudioFrames<1>(bits, predictors, frames, out, newTables); break;
        case 2: made = DecodeAudioFrames<2>(bits, predictors, frames, out, newTables); break;
        case 3: made = DecodeAudioFrames<3>(bits, predictors, frames, out, newTables); break;
        default: made = DecodeAudioFrames<4>(bits, predictors, frames, out, newTables); break;
        }
        channel = static_cast<std::int32_t>(made % count);
    } else {
        // Up to the next frame's start, or the last bytes before the end of
        // the entry or the window (fewer than a frame): the symbols first,
        // then their bytes.
        std::uint8_t symbols[kMaxChannels];
        const std::uint32_t want =
            channel == 0 ? n : std::min(n, count - static_cast<std::uint32_t>(channel));
        for (std::int32_t c = channel; made < want; ++made) {
            bits.Refill();
            const std::uint32_t s = DecodeAudioSymbol(AudioTables[c], bits);
            if (s == kSymAudioNewTables) {
                newTables = true;
                break;
            }
            symbols[made] = static_cast<std::uint8_t>(s);
            ++c;
        }
        predictors.DecodeRun(symbols, made, channel, channelCount, out);
    }
    bits.End(in);
    return made;
}

inline std::uint32_t LengthBonus(std::uint32_t distance)
{
    return (distance >= kBonusDistance2 ? 1u : 0u) + (distance >= kBonusDistance3 ? 1u : 0u);
}

}  // namespace

void ResetUnpackState()
{
    InputPos = 0;
    InputBitPos = 0;
    ResetAudioState();
    std::memset(Decoder.OldDistances, 0, sizeof Decoder.OldDistances);
    Decoder.CurrentChannel = 0;
    Decoder.MatchCount = 0;
    Decoder.LastLength = 0;
    Decoder.LastDistance = 0;
    if (Decoder.Window)
        std::memset(Decoder.Window, 0, kWindowSize);
    std::memset(Decoder.PreviousLengths, 0, sizeof Decoder.PreviousLengths);
    Decoder.FlushPos = 0;
    Decoder.WritePos = 0;
}

void CopyMatch(std::uint32_t distance, std::uint32_t length)
{
    MatchState m;
    m.Load();
    m.Record(distance, length);
    m.Store();
    // Never beyond the entry's size: UnpackedLeft + 1 bytes remain.
    const std::uint32_t room = UnpackedLeft < 0 ? 0 : static_cast<std::uint32_t>(UnpackedLeft) + 1;
    const std::uint32_t count = length < room ? length : room;
    if (count < length)
        UnpackedLeft = -1;
    else
        UnpackedLeft -= static_cast<std::int32_t>(length);
    BytesDone += static_cast<std::int32_t>(count);
    Decoder.WritePos =
        CopyBytes(Decoder.Window, Decoder.WritePos & kWindowMask, distance, count) & kWindowMask;
}

void FlushWindow()
{
    const std::uint32_t writePos = Decoder.WritePos;
    const std::uint32_t flushPos = Decoder.FlushPos;
    if (writePos >= flushPos) {
        WriteUnpackedData(Decoder.Window + flushPos, writePos - flushPos);
    } else {
        WriteUnpackedData(Decoder.Window + flushPos, kWindowSize - flushPos);
        WriteUnpackedData(Decoder.Window, writePos);
    }
    Decoder.FlushPos = writePos;
}

void CheckFinalTables()
{
    if (InputAvailable < InputPos + kFinalSymbolBytes)
        return;
    const std::uint32_t entry = DecodeEntry(Decoder.AudioMode ? AudioTables[Decoder.CurrentChannel] : MainTable);
    const auto newTables = static_cast<std::uint32_t>(Decoder.AudioMode ? kSymAudioNewTables : kSymNewTables);
    if (EntryKind(entry) == kKindSpecial && EntryValue(entry) == newTables)
        ReadCodeTables();
}

void UnpackStream(std::uint8_t *window)
{
    Decoder.Window = window;
    BytesDone = 0;
    ResetUnpackState();
    FillInput();
    ReadCodeTables();
    if (UnpackedLeft > INT32_MIN)
        --UnpackedLeft;

    BitCursor in;
    in.Load();
    MatchState m;
    m.Load();
    std::uint32_t writePos = Decoder.WritePos;
    std::uint32_t flushPos = Decoder.FlushPos;
    std::int32_t left = UnpackedLeft;
    std::int32_t done = BytesDone;
    bool audio = Decoder.AudioMode;
    // A step looks at the input when the cursor passes the refill point or
    // reaches the end of the real data, whichever comes first.
    std::uint32_t checkPos = std::min(kRefillBeforeStep + 1, InputEnd);

    // Moves the loop's locals to the globals and back around calls that use them.
    // The audio predictors and the channel rotation, also in locals: nothing
    // but this loop touches the predictors while it runs, and a table read
    // may change the channel.
    AudioRun predictors;
    predictors.Load();
    std::int32_t channel = Decoder.CurrentChannel;
    std::int32_t channelCount = Decoder.ChannelCount;

    auto store = [&] {
        in.Store();
        Decoder.WritePos = writePos;
        Decoder.CurrentChannel = channel;
        UnpackedLeft = left;
        BytesDone = done;
    };
    auto load = [&] {
        in.Load();
        writePos = Decoder.WritePos;
        flushPos = Decoder.FlushPos;
        left = UnpackedLeft;
        done = BytesDone;
        audio = Decoder.AudioMode;
        channel = Decoder.CurrentChannel;
        channelCount = Decoder.ChannelCount;
        checkPos = std::min(kRefillBeforeStep + 1, InputEnd);
    };
    auto storeAudio = [&] { predictors.Store(); };

    // Records a match and copies it, cut at the entry's size.
    auto match = [&](std::uint32_t distance, std::uint32_t length) {
        m.Record(distance, length);
        std::uint32_t count = length;
        if (static_cast<std::int64_t>(count) > std::int64_t{left} + 1) {
            count = static_cast<std::uint32_t>(left + 1);
            left = -1;
        } else {
            left -= static_cast<std::int32_t>(count);
        }
        done += static_cast<std::int32_t>(count);
        writePos = CopyBytes(window, writePos, distance, count);
    };

    while (left >= 0) {
        writePos &= kWindowMask;
        if (in.pos >= checkPos) {
            store();
            if (InputPos > kRefillBeforeStep)
                RefillInput();
            load();
            if (InputSpent())
                break;
        }
        if (writePos != flushPos && ((flushPos - writePos) & kWindowMask) < kFlushRoom) {
            store();
            FlushWindow();
            load();
            if (ArchiveStatus != QM_STATUS_OK) {
                m.Store();
                storeAudio();
                return;
            }
        }

        if (audio) {
            // A run of audio bytes that needs no refill, no flush and no
            // wrap of the window: a symbol takes at most 15 bits and makes
            // one byte.  in.pos is below checkPos here (at most
            // kRefillBeforeStep, and below InputEnd), so every symbol of the
            // run starts on a real byte; the flush test has left at least
            // kFlushRoom bytes of room.
            const std::uint32_t gap = (flushPos - writePos) & kWindowMask;
            const std::uint32_t room = gap == 0 ? kWindowSize : gap;
            std::uint32_t n = (std::min(kRefillBeforeStep, InputEnd - 1) - in.pos) / 2 + 1;
            n = std::min(n, room - (kFlushRoom - 1));
            n = std::min(n, kWindowSize - writePos);
            n = std::min(n, static_cast<std::uint32_t>(left) + 1);
            bool newTables = false;
            const std::uint32_t i =
                DecodeAudioRun(in, predictors, channel, channelCount, window + writePos, n, newTables);
            writePos += i;
            done += static_cast<std::int32_t>(i);
            left -= static_cast<std::int32_t>(i);
            if (newTables) {
                store();
                ReadCodeTables();
                load();
            }
            continue;
        }

        // Whole rounds of LZ steps while no edge is near.  The fast loop
        // needs every step of a round to start below checkPos and to leave
        // the window room of the flush test, so it makes the same steps and
        // the same flushes as this loop.
        const std::uint32_t gap = (flushPos - writePos) & kWindowMask;
        const std::int64_t room = gap == 0 ? kWindowSize : gap;
        const std::int64_t outLimit =
            std::min({std::int64_t{kWindowSize} - kFastRoundBytes,
                      std::int64_t{writePos} + room - kFlushRoom - kFastRoundBytes,
                      std::int64_t{writePos} + left - kFastRoundBytes});
        if (outLimit >= writePos && in.pos + kFastRoundInput + 8 <= checkPos) {
            const std::uint32_t start = writePos;
            const std::uint32_t startBit = in.pos * 8 + in.bit;
            DecodeLzFast(window, in, writePos, m, checkPos - kFastRoundInput,
                         static_cast<std::uint32_t>(outLimit));
            const std::uint32_t made = writePos - start;
            left -= static_cast<std::int32_t>(made);
            done += static_cast<std::int32_t>(made);
            // Every round reads bits; a loop that read none stopped at a
            // table read, which the step below makes.
            if (in.pos * 8 + in.bit != startBit)
                continue;
        }

        const std::uint32_t e = DecodeEntryAt(MainTable, in);
        const std::uint32_t value = EntryValue(e);
        switch (EntryKind(e)) {
        case kKindLiteral:
            window[writePos++] = static_cast<std::uint8_t>(value);
            --left;
            ++done;
            break;
        case kKindLength: {
            std::uint32_t length = value + in.Bits(EntryExtra(e));
            const std::uint32_t d = DecodeEntryAt(DistanceTable, in);
            const std::uint32_t distance = EntryValue(d) + in.Bits(EntryExtra(d));
            length += LengthBonus(distance);
            match(distance, length);
            break;
        }
        case kKindShort:
            match(value + in.Bits(EntryExtra(e)), 2);
            break;
        default:
            if (value == static_cast<std::uint32_t>(kSymRepeatLast)) {
                match(m.lastDistance, m.lastLength);
            } else if (value != static_cast<std::uint32_t>(kSymNewTables)) {
                const std::uint32_t distance = m.oldDistances[(m.matchCount - (value - 256)) & 3];
                const std::uint32_t r = DecodeEntryAt(RepeatLengthTable, in);
                std::uint32_t length = EntryValue(r) + in.Bits(EntryExtra(r));
                length += LengthBonus(distance) + (distance >= kBonusDistance1 ? 1 : 0);
                match(distance, length);
            } else {
                store();
                ReadCodeTables();
                load();
            }
            break;
        }
    }

    store();
    m.Store();
    storeAudio();
    CheckFinalTables();
    FlushWindow();
}

}  // namespace qm
