// stream_decoder.cpp - the decoding loop, the audio runs and the window's
// pending bytes.
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
// left starts one below the entry's size and the loop runs while it
// is 0 or more, or until a step finds no real bit left once the packed data
// is used up (see InputEnd in bit_input.h).  A match that would reach past
// the entry's size is cut at it: the output never grows beyond the stated
// size.
//
// Decode() returns for the undelivered bytes to be taken when fewer than 270
// bytes of room remain between WritePos and them; no step writes more than
// 260, so undelivered bytes are never overwritten.
//
// The loop keeps the cursor, the write position, the counters and the
// audio predictors in local variables (window stores would otherwise force
// every member to be reloaded) and stores them back around the calls that
// use the members.  It makes single steps only near an edge (a refill point, the
// end of the real input, a flush, the window's wrap, the entry's end) and at
// table reads.  Elsewhere it hands whole runs to the fast paths: rounds of
// LZ steps to DecodeLzFast (lz_fast.h), and runs of audio bytes to
// DecodeAudioRun below; both read bits through a 64-bit buffer (wide_bits.h)
// and decode with the entries of the two-level tables (huffman.h).
#include "unpack/stream_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "unpack/lz_fast.h"
#include "unpack/wide_bits.h"

namespace qm {

namespace {

// A step consumes at most kMaxStepBits and writes at most kMaxStepBytes
// (lz_fast.h).  Steps start on bytes up to the refill point, the one the
// format has always used.  A refill keeps the last 32 bytes, so the point
// must lie in them; and a step that starts on it (at its last bit) must find
// its bits and the 4-byte peek of its last code inside the buffer.
constexpr std::uint32_t kRefillBeforeStep = 8162;
static_assert(kRefillBeforeStep + 1 >= kInputBufferSize - kInputKeep,
              "a refill carries the byte of the next unread bit over");
static_assert(kRefillBeforeStep + (7 + kMaxStepBits) / 8 + 4 <= kInputBufferSize,
              "a step's bits and its last peek stay inside the buffer");
// The room the window keeps free before the undelivered bytes, the value the
// format has always used: more than one step writes.
constexpr std::uint32_t kFlushRoom = StreamDecoder::kRoomKept;
static_assert(kFlushRoom > kMaxStepBytes);
// A fast round starts kFastRoundInput bytes before the refill point at the
// latest; its word loads reach 28 bytes past its start.
static_assert(kRefillBeforeStep + 1 - kFastRoundInput + 28 <= kInputBufferSize + kInputPadding,
              "a fast round's loads stay inside the padded buffer");
constexpr std::uint32_t kFinalSymbolBytes = 5;

// One audio symbol of the table at the front of bits, consumed.
inline std::uint32_t DecodeAudioSymbol(const AudioTable &table, WideBits &bits)
{
    const std::uint32_t entry = LookupEntry64(table, bits.buf);
    bits.Skip(EntryBits(entry));
    return EntryValue(entry);
}

template <int C>
std::uint32_t DecodeAudioFrames(const AudioTable *tables, WideBits &bits, AudioRun &predictors,
                                std::uint32_t frames, std::uint8_t *out, bool &newTables)
{
    // A refill leaves 56 bits: enough for three symbols of up to 15 bits.
    static_assert(3 * kMaxCodeLength <= 56);
    auto next = [&](int k) {
        if (k % 3 == 0)
            bits.Refill();
        return DecodeAudioSymbol(tables[k], bits);
    };
    return predictors.DecodeFrames<C>(next, frames, out, newTables);
}

// Decodes up to n audio bytes to out, the first for channel; stops after a
// symbol 256 (newTables).  The caller has made sure that n symbols stay
// inside the input buffer and n bytes inside the window.  Returns the bytes
// made; channel moves on.
std::uint32_t DecodeAudioRun(const AudioTable *tables, BitCursor &in, AudioRun &predictors,
                             std::int32_t &channel, std::int32_t channelCount, std::uint8_t *out,
                             std::uint32_t n, bool &newTables)
{
    WideBits bits;
    bits.Start(in);
    std::uint32_t made = 0;
    const auto count = static_cast<std::uint32_t>(channelCount);
    if (channel == 0 && n >= count) {
        // Whole frames: symbol and byte for each channel in turn.
        const std::uint32_t frames = n / count;
        switch (channelCount) {
        case 1: made = DecodeAudioFrames<1>(tables, bits, predictors, frames, out, newTables); break;
        case 2: made = DecodeAudioFrames<2>(tables, bits, predictors, frames, out, newTables); break;
        case 3: made = DecodeAudioFrames<3>(tables, bits, predictors, frames, out, newTables); break;
        default: made = DecodeAudioFrames<4>(tables, bits, predictors, frames, out, newTables); break;
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
            const std::uint32_t s = DecodeAudioSymbol(tables[c], bits);
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

}  // namespace

void StreamDecoder::Reset(std::uint32_t windowBytesUsed)
{
    input.pos = 0;
    input.bitPos = 0;
    std::memset(&audio, 0, sizeof audio);
    state.History = {};
    state.CurrentChannel = 0;
    // A match may reach back to bytes this stream has not written yet: they
    // read as zeros, never as bytes of another entry.
    if (state.Window)
        std::memset(state.Window, 0, windowBytesUsed);
    std::memset(state.PreviousLengths, 0, sizeof state.PreviousLengths);
    state.FlushPos = 0;
    state.WritePos = 0;
}

void StreamDecoder::Start(PackedSource *source, std::uint8_t *window, std::int32_t size)
{
    // A stream writes the window from position 0 on, one byte after
    // another, and `done` counts them: after a short stream only its first
    // `done` bytes can be other than zero, and clearing just those (not the
    // whole mebibyte) is what makes an archive of many small entries cheap.
    const bool sameWindow = window == clearedWindow_ && window == state.Window;
    const std::uint32_t used = sameWindow && done >= 0 && done < std::int32_t{kWindowSize}
                                   ? static_cast<std::uint32_t>(done)
                                   : kWindowSize;
    input.source = source;
    state.Window = window;
    clearedWindow_ = window;
    left = size;
    done = 0;
    Reset(used);
    input.Fill();
    ReadCodeTables();
    if (left > INT32_MIN)
        --left;
}

PendingBytes StreamDecoder::Pending() const
{
    const std::uint32_t writePos = state.WritePos;
    const std::uint32_t flushPos = state.FlushPos;
    if (writePos >= flushPos)
        return {state.Window + flushPos, writePos - flushPos, nullptr, 0};
    return {state.Window + flushPos, kWindowSize - flushPos, state.Window, writePos};
}

void StreamDecoder::CheckFinalTables()
{
    if (input.available < input.pos + kFinalSymbolBytes)
        return;
    BitCursor in;
    in.Load(input);
    const std::uint32_t entry = state.AudioMode ? DecodeEntryAt(tables.audio[state.CurrentChannel], in)
                                                : DecodeEntryAt(tables.main, in);
    in.Store(input);
    const auto newTables = static_cast<std::uint32_t>(state.AudioMode ? kSymAudioNewTables : kSymNewTables);
    if (EntryKind(entry) == kKindSpecial && EntryValue(entry) == newTables)
        ReadCodeTables();
}

bool StreamDecoder::Decode()
{
    std::uint8_t *const window = state.Window;
    BitCursor in;
    in.Load(input);
    MatchState m = state.History;
    std::uint32_t writePos = state.WritePos;
    std::uint32_t flushPos = state.FlushPos;
    std::int32_t outLeft = left;
    std::int32_t outDone = done;
    bool audioMode = state.AudioMode;
    // A step looks at the input when the cursor passes the refill point or
    // reaches the end of the real data, whichever comes first.
    std::uint32_t checkPos = std::min(kRefillBeforeStep + 1, input.end);

    // The audio predictors and the channel rotation, also in locals: nothing
    // but this loop touches the predictors while it runs, and a table read
    // may change the channel.
    AudioRun predictors;
    predictors.Load(audio);
    std::int32_t channel = state.CurrentChannel;
    std::int32_t channelCount = state.ChannelCount;

    // Moves the loop's locals to the members and back around calls that use them.
    auto store = [&] {
        in.Store(input);
        state.WritePos = writePos;
        state.CurrentChannel = channel;
        left = outLeft;
        done = outDone;
    };
    auto load = [&] {
        in.Load(input);
        writePos = state.WritePos;
        flushPos = state.FlushPos;
        outLeft = left;
        outDone = done;
        audioMode = state.AudioMode;
        channel = state.CurrentChannel;
        channelCount = state.ChannelCount;
        checkPos = std::min(kRefillBeforeStep + 1, input.end);
    };
    auto storeAll = [&] {
        store();
        state.History = m;
        predictors.Store(audio);
    };

    // Records a match and copies it, cut at the entry's size.
    auto match = [&](std::uint32_t distance, std::uint32_t length) {
        m.Record(distance, length);
        std::uint32_t count = length;
        if (static_cast<std::int64_t>(count) > std::int64_t{outLeft} + 1) {
            count = static_cast<std::uint32_t>(outLeft + 1);
            outLeft = -1;
        } else {
            outLeft -= static_cast<std::int32_t>(count);
        }
        outDone += static_cast<std::int32_t>(count);
        writePos = CopyBytes(window, writePos, distance, count);
    };

    while (outLeft >= 0) {
        writePos &= kWindowMask;
        if (in.pos >= checkPos) {
            store();
            if (input.pos > kRefillBeforeStep)
                input.Refill();
            load();
            if (input.Spent())
                break;
        }
        if (writePos != flushPos && ((flushPos - writePos) & kWindowMask) < kFlushRoom) {
            // The caller takes the pending bytes and calls again.
            storeAll();
            return false;
        }

        if (audioMode) {
            // A run of audio bytes that needs no refill, no flush and no
            // wrap of the window: a symbol takes at most 15 bits and makes
            // one byte.  in.pos is below checkPos here (at most
            // kRefillBeforeStep, and below input.end), so every symbol of the
            // run starts on a real byte; the flush test has left at least
            // kFlushRoom bytes of room.
            const std::uint32_t gap = (flushPos - writePos) & kWindowMask;
            const std::uint32_t room = gap == 0 ? kWindowSize : gap;
            std::uint32_t n = (std::min(kRefillBeforeStep, input.end - 1) - in.pos) / 2 + 1;
            n = std::min(n, room - (kFlushRoom - 1));
            n = std::min(n, kWindowSize - writePos);
            n = std::min(n, static_cast<std::uint32_t>(outLeft) + 1);
            bool newTables = false;
            const std::uint32_t i = DecodeAudioRun(tables.audio, in, predictors, channel, channelCount,
                                                   window + writePos, n, newTables);
            writePos += i;
            outDone += static_cast<std::int32_t>(i);
            outLeft -= static_cast<std::int32_t>(i);
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
        // the same returns for delivery as this loop.
        const std::uint32_t gap = (flushPos - writePos) & kWindowMask;
        const std::int64_t room = gap == 0 ? kWindowSize : gap;
        const std::int64_t outLimit =
            std::min({std::int64_t{kWindowSize} - kFastRoundBytes,
                      std::int64_t{writePos} + room - kFlushRoom - kFastRoundBytes,
                      std::int64_t{writePos} + outLeft - kFastRoundBytes});
        if (outLimit >= writePos && in.pos + kFastRoundInput + 8 <= checkPos) {
            const std::uint32_t start = writePos;
            const std::uint32_t startBit = in.pos * 8 + in.bit;
            DecodeLzFast(lzLoop, window, in, writePos, m, tables, checkPos - kFastRoundInput,
                         static_cast<std::uint32_t>(outLimit));
            const std::uint32_t made = writePos - start;
            outLeft -= static_cast<std::int32_t>(made);
            outDone += static_cast<std::int32_t>(made);
            // Every round reads bits; a loop that read none stopped at a
            // table read, which the step below makes.
            if (in.pos * 8 + in.bit != startBit)
                continue;
        }

        const std::uint32_t e = DecodeEntryAt(tables.main, in);
        const std::uint32_t value = EntryValue(e);
        switch (EntryKind(e)) {
        case kKindLiteral:
            window[writePos++] = static_cast<std::uint8_t>(value);
            --outLeft;
            ++outDone;
            break;
        case kKindLength: {
            std::uint32_t length = value + in.Bits(EntryExtra(e));
            const std::uint32_t d = DecodeEntryAt(tables.distance, in);
            const std::uint32_t distance = EntryValue(d) + in.Bits(EntryExtra(d));
            length += LengthBonus(distance);
            match(distance, length);
            break;
        }
        case kKindOldWithLength: {
            const std::uint32_t distance = m.oldDistances[(m.matchCount - OldEntryBack(value)) & 3];
            match(distance, OldEntryLength(value) + OldDistanceLengthBonus(distance));
            break;
        }
        default:
            if (value < static_cast<std::uint32_t>(kSymRepeatLast)) {
                match(value + in.Bits(EntryExtra(e)), 2);  // a short distance
            } else if (value == static_cast<std::uint32_t>(kSymRepeatLast)) {
                match(m.lastDistance, m.lastLength);
            } else if (value != static_cast<std::uint32_t>(kSymNewTables)) {
                // kSymOldDistance + k: the k-th latest distance.
                const std::uint32_t back = value - kSymOldDistance + 1;
                const std::uint32_t distance = m.oldDistances[(m.matchCount - back) & 3];
                const std::uint32_t r = DecodeEntryAt(tables.repeatLength, in);
                std::uint32_t length = EntryValue(r) + in.Bits(EntryExtra(r));
                length += OldDistanceLengthBonus(distance);
                match(distance, length);
            } else {
                store();
                ReadCodeTables();
                load();
            }
            break;
        }
    }

    storeAll();
    state.WritePos &= kWindowMask;
    CheckFinalTables();
    return true;
}

}  // namespace qm
