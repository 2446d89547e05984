// code_tables.cpp - reading new prefix-code tables from the stream.
//
// A table read starts with two header bits: bit 15 selects audio mode, and
// while bit 14 is clear the previous lengths are forgotten.  Audio mode then
// takes two bits more, the channel count minus 1.  Nineteen 4-bit fields
// follow: the code lengths of the bit-length alphabet.  With that code come
// the lengths proper, 374 in LZ mode (main 298, distance 48, repeat length
// 28) or 257 per audio channel:
//   0-15  the new length is (previous length + symbol) mod 16
//   16    repeat the length just read 3-6 times (2-bit field + 3)
//   17    3-10 zero lengths (3-bit field + 3)
//   18    11-138 zero lengths (7-bit field + 11)
// A run stops at the number of lengths to read.  The whole work array then
// becomes the previous lengths of the next read.
//
// Choices for malformed streams: a run 16 at the very first length repeats 0,
// and the work array starts zeroed, so entries past the lengths read are 0.
#include <cstring>

#include "unpack/stream_decoder.h"

namespace qm {

namespace {

// Refill points: the most bits consumed until the next check stay inside the
// buffer (80 for the header and the nineteen fields, 22 per length symbol).
constexpr std::uint32_t kRefillBeforeTables = 8167;
constexpr std::uint32_t kRefillBeforeLength = 8187;
static_assert(kRefillBeforeTables + 1 >= kInputBufferSize - kInputKeep &&
                  kRefillBeforeLength + 1 >= kInputBufferSize - kInputKeep,
              "a refill carries the byte of the next unread bit over");
static_assert(kRefillBeforeTables + (7 + 80) / 8 + 4 <= kInputBufferSize + kInputPadding &&
                  kRefillBeforeLength + (7 + 22) / 8 + 4 <= kInputBufferSize + kInputPadding,
              "the bits read and the last 4-byte peek stay inside the padded buffer");

static_assert(ShortDistanceBase[kShortDistanceSlots - 1] + 1 < kSymRepeatLast,
              "a short distance's value stays below the special symbols");

// An old distance (symbols 257-260) is followed by a repeat length code; when
// both codes, with the length's extra bits, fit in a root index (11 bits),
// the root entry of the old distance can hold the result of both: which old
// distance and the length, consuming both codes at once.  The decoding loop
// then skips the second lookup, which waits on the first, for the commonest
// matches of text and code.  Only root entries of codes up to 10 bits are
// combined, and only with a repeat length entry that the known bits decide
// (a code and extra bits within them, not a subtable pointer), so the
// combined entry decodes exactly what the two lookups would.
void CombineOldDistanceLengths(MainTable &main, const RepeatLengthTable &repeat)
{
    static_assert(OldEntryLength(LengthBase[kLengthSlots - 1] + 2 + (1u << LengthBits[kLengthSlots - 1]) - 1) ==
                  LengthBase[kLengthSlots - 1] + 2 + (1u << LengthBits[kLengthSlots - 1]) - 1);
    for (std::uint32_t i = 0; i < kRootEntries; ++i) {
        const std::uint32_t e = main.Entries[i];
        const std::uint32_t code = EntryBits(e);
        if (code == 0 || code >= kRootBits || EntryKind(e) != kKindSpecial ||
            EntryValue(e) - kSymOldDistance >= 4)
            continue;
        // The bits behind the old distance's code, at the top of an index.
        const std::uint32_t rest = (i << code) & (kRootEntries - 1);
        const std::uint32_t r = repeat.Entries[rest];
        const std::uint32_t total = EntryBits(r);
        if (total == 0 || code + total > kRootBits)
            continue;
        const std::uint32_t extra = EntryExtra(r);
        const std::uint32_t length = EntryValue(r) + ((rest >> (kRootBits - total)) & ((1u << extra) - 1));
        const std::uint32_t back = EntryValue(e) - kSymOldDistance + 1;
        main.Entries[i] = (((back << kOldLengthBits) | length) << 12) | (kKindOldWithLength << 10) | (code + total);
    }
}

}  // namespace

void StreamDecoder::ReadCodeTables()
{
    if (input.pos > kRefillBeforeTables)
        input.Refill();
    BitCursor in;
    in.Load(input);

    const std::uint32_t header = in.Peek16();
    state.AudioMode = (header & 0x8000) != 0;
    if (!(header & 0x4000))
        std::memset(state.PreviousLengths, 0, sizeof state.PreviousLengths);
    in.Skip(2);

    std::uint32_t total = kLzLengthCount;
    if (state.AudioMode) {
        state.ChannelCount = static_cast<std::int32_t>(((header >> 12) & 3) + 1);
        if (state.CurrentChannel >= state.ChannelCount)
            state.CurrentChannel = 0;
        in.Skip(2);
        total = kAudioSymbols * static_cast<std::uint32_t>(state.ChannelCount);
    }

    std::uint8_t bitLengths[kBitLengthSymbols];
    for (auto &length : bitLengths)
        length = static_cast<std::uint8_t>(in.Bits(4));
    BuildDecodeTable(bitLengths, kBitLengthSymbols, tables.bitLength);

    std::uint8_t lengths[kMaxLengthCount] = {};
    for (std::uint32_t i = 0; i < total;) {
        if (in.pos > kRefillBeforeLength) {
            in.Store(input);
            input.Refill();
            in.Load(input);
        }
        const std::uint32_t t = EntryValue(DecodeEntryAt(tables.bitLength, in));
        if (t < 16) {
            lengths[i] = static_cast<std::uint8_t>((state.PreviousLengths[i] + t) & 15);
            ++i;
        } else if (t == 16) {
            const std::uint8_t repeated = i > 0 ? lengths[i - 1] : 0;
            for (std::uint32_t n = in.Bits(2) + 3; n > 0 && i < total; --n)
                lengths[i++] = repeated;
        } else {
            const std::uint32_t n = t == 17 ? in.Bits(3) + 3 : in.Bits(7) + 11;
            for (std::uint32_t k = 0; k < n && i < total; ++k)
                lengths[i++] = 0;
        }
    }

    in.Store(input);

    if (state.AudioMode) {
        for (std::int32_t c = 0; c < state.ChannelCount; ++c)
            BuildDecodeTable(lengths + kAudioSymbols * c, kAudioSymbols, tables.audio[c], CodeRole::Audio);
    } else {
        BuildDecodeTable(lengths, kMainSymbols, tables.main, CodeRole::Main);
        BuildDecodeTable(lengths + kMainSymbols, kDistanceSymbols, tables.distance, CodeRole::Distance);
        BuildDecodeTable(lengths + kMainSymbols + kDistanceSymbols, kRepeatLengthSymbols,
                         tables.repeatLength, CodeRole::RepeatLength);
        CombineOldDistanceLengths(tables.main, tables.repeatLength);
    }
    std::memcpy(state.PreviousLengths, lengths, sizeof lengths);
}

}  // namespace qm
