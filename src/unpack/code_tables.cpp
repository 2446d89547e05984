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

#include "unpack/bit_input.h"
#include "unpack/unpack.h"

namespace qm {

namespace {

// Refill points: the most bits consumed until the next check stay inside the
// buffer (80 for the header and the nineteen fields, 22 per length symbol).
constexpr std::uint32_t kRefillBeforeTables = 8167;
constexpr std::uint32_t kRefillBeforeLength = 8187;

}  // namespace

void ReadCodeTables()
{
    if (InputPos > kRefillBeforeTables)
        RefillInput();

    const std::uint32_t header = PeekBits();
    Decoder.AudioMode = (header & 0x8000) != 0;
    if (!(header & 0x4000))
        std::memset(Decoder.PreviousLengths, 0, sizeof Decoder.PreviousLengths);
    SkipBits(2);

    std::uint32_t total = kLzLengthCount;
    if (Decoder.AudioMode) {
        Decoder.ChannelCount = static_cast<std::int32_t>(((header >> 12) & 3) + 1);
        if (Decoder.CurrentChannel >= Decoder.ChannelCount)
            Decoder.CurrentChannel = 0;
        SkipBits(2);
        total = kAudioSymbols * static_cast<std::uint32_t>(Decoder.ChannelCount);
    }

    std::uint8_t bitLengths[kBitLengthSymbols];
    for (auto &length : bitLengths)
        length = static_cast<std::uint8_t>(ReadBits(4));
    BuildDecodeTable(bitLengths, kBitLengthSymbols, BitLengthTable);

    std::uint8_t lengths[kMaxLengthCount] = {};
    for (std::uint32_t i = 0; i < total;) {
        if (InputPos > kRefillBeforeLength)
            RefillInput();
        const std::uint32_t t = EntryValue(DecodeEntry(BitLengthTable));
        if (t < 16) {
            lengths[i] = static_cast<std::uint8_t>((Decoder.PreviousLengths[i] + t) & 15);
            ++i;
        } else if (t == 16) {
            const std::uint8_t repeated = i > 0 ? lengths[i - 1] : 0;
            for (std::uint32_t n = ReadBits(2) + 3; n > 0 && i < total; --n)
                lengths[i++] = repeated;
        } else {
            const std::uint32_t n = t == 17 ? ReadBits(3) + 3 : ReadBits(7) + 11;
            for (std::uint32_t k = 0; k < n && i < total; ++k)
                lengths[i++] = 0;
        }
    }

    if (Decoder.AudioMode) {
        for (std::int32_t c = 0; c < Decoder.ChannelCount; ++c)
            BuildDecodeTable(lengths + kAudioSymbols * c, kAudioSymbols, AudioTables[c], CodeRole::Audio);
    } else {
        BuildDecodeTable(lengths, kMainSymbols, MainTable, CodeRole::Main);
        BuildDecodeTable(lengths + kMainSymbols, kDistanceSymbols, DistanceTable, CodeRole::Distance);
        BuildDecodeTable(lengths + kMainSymbols + kDistanceSymbols, kRepeatLengthSymbols,
                         RepeatLengthTable, CodeRole::RepeatLength);
    }
    std::memcpy(Decoder.PreviousLengths, lengths, sizeof lengths);
}

}  // namespace qm
