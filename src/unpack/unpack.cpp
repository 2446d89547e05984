// unpack.cpp - the decoding loop, the match copy and the window flush.
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
// The hot loop keeps the cursor, the write position and the counters in
// local variables (window stores would otherwise force every global to be
// reloaded) and stores them back around the calls that use the globals.
#include "unpack/unpack.h"

#include <algorithm>
#include <cstring>

#include "state/status.h"
#include "extract/pipeline.h"
#include "unpack/audio.h"
#include "unpack/bit_input.h"

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

// The match history and counters of the loop, held in locals.
struct MatchState {
    std::uint32_t oldDistances[4];
    std::uint32_t matchCount;
    std::uint32_t lastDistance;
    std::uint32_t lastLength;

    void Load()
    {
        std::memcpy(oldDistances, Decoder.OldDistances, sizeof oldDistances);
        matchCount = Decoder.MatchCount;
        lastDistance = Decoder.LastDistance;
        lastLength = Decoder.LastLength;
    }
    void Store() const
    {
        std::memcpy(Decoder.OldDistances, oldDistances, sizeof oldDistances);
        Decoder.MatchCount = matchCount;
        Decoder.LastDistance = lastDistance;
        Decoder.LastLength = lastLength;
    }
};

// Copies count bytes from distance back, byte by byte forward in effect (a
// distance below the length repeats the last distance bytes).  Returns the
// new write position, which may equal the window size; the loop masks it.
inline std::uint32_t CopyBytes(std::uint8_t *window, std::uint32_t writePos,
                               std::uint32_t distance, std::uint32_t count)
{
    const std::uint32_t src = (writePos - distance) & kWindowMask;
    if (writePos + count <= kWindowSize && src + count <= kWindowSize) {
        std::uint8_t *d = window + writePos;
        const std::uint8_t *s = window + src;
        if (src < writePos && writePos - src < 8) {
            // Overlapping close behind: a short repeating pattern.
            if (writePos - src == 1) {
                std::memset(d, *s, count);
            } else {
                for (std::uint32_t i = 0; i < count; ++i)
                    d[i] = s[i];
            }
        } else {
            // Each 8-byte chunk is loaded whole before it is stored: correct
            // for sources at least 8 bytes behind, and for sources ahead of
            // the destination (distances near the window size), whose bytes
            // are all still unwritten.
            std::uint32_t i = 0;
            for (; i + 8 <= count; i += 8) {
                std::uint64_t chunk;
                std::memcpy(&chunk, s + i, 8);
                std::memcpy(d + i, &chunk, 8);
            }
            for (; i < count; ++i)
                d[i] = s[i];
        }
        return writePos + count;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        window[writePos] = window[(writePos - distance) & kWindowMask];
        writePos = (writePos + 1) & kWindowMask;
    }
    return writePos;
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
    Decoder.LastDistance = distance;
    Decoder.OldDistances[Decoder.MatchCount & 3] = distance;
    ++Decoder.MatchCount;
    Decoder.LastLength = length;
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
    if (Decoder.AudioMode) {
        if (DecodeSymbol(AudioTables[Decoder.CurrentChannel]) == kSymAudioNewTables)
            ReadCodeTables();
    } else if (DecodeSymbol(MainTable) == kSymNewTables) {
        ReadCodeTables();
    }
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
    auto store = [&] {
        in.Store();
        Decoder.WritePos = writePos;
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
        checkPos = std::min(kRefillBeforeStep + 1, InputEnd);
    };

    // Records a match and copies it, cut at the entry's size.
    auto match = [&](std::uint32_t distance, std::uint32_t length) {
        m.lastDistance = distance;
        m.oldDistances[m.matchCount & 3] = distance;
        ++m.matchCount;
        m.lastLength = length;
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
                return;
            }
        }

        if (audio) {
            const std::uint32_t s = DecodeSymbolAt(AudioTables[Decoder.CurrentChannel], in);
            if (s == kSymAudioNewTables) {
                store();
                ReadCodeTables();
                load();
                continue;
            }
            window[writePos++] = DecodeAudioByte(s);
            ++done;
            if (++Decoder.CurrentChannel >= Decoder.ChannelCount)
                Decoder.CurrentChannel = 0;
            --left;
            continue;
        }

        const std::uint32_t s = DecodeSymbolAt(MainTable, in);
        if (s < 256) {
            window[writePos++] = static_cast<std::uint8_t>(s);
            --left;
            ++done;
        } else if (s >= kSymLength) {
            const std::uint32_t k = s - kSymLength;
            std::uint32_t length = LengthBase[k] + 3 + in.Bits(LengthBits[k]);
            const std::uint32_t d = DecodeSymbolAt(DistanceTable, in);
            const std::uint32_t distance = DistanceBase[d] + 1 + in.Bits(DistanceBits[d]);
            length += LengthBonus(distance);
            match(distance, length);
        } else if (s == kSymRepeatLast) {
            match(m.lastDistance, m.lastLength);
        } else if (s < kSymShortDistance) {
            const std::uint32_t distance = m.oldDistances[(m.matchCount - (s - 256)) & 3];
            const std::uint32_t k = DecodeSymbolAt(RepeatLengthTable, in);
            std::uint32_t length = LengthBase[k] + 2 + in.Bits(LengthBits[k]);
            length += LengthBonus(distance) + (distance >= kBonusDistance1 ? 1 : 0);
            match(distance, length);
        } else if (s < kSymNewTables) {
            const std::uint32_t k = s - kSymShortDistance;
            const std::uint32_t distance = ShortDistanceBase[k] + 1 + in.Bits(ShortDistanceBits[k]);
            match(distance, 2);
        } else {
            store();
            ReadCodeTables();
            load();
        }
    }

    store();
    m.Store();
    CheckFinalTables();
    FlushWindow();
}

}  // namespace qm
