// reference_decoder.cpp - the slow reference decoder of the stream format.
//
// The stream is a bit stream, most significant bit first.  It opens with a
// table read and goes on step by step until the unpacked size is reached (or
// the packed data has no bit left for the next step).  A step in LZ mode
// decodes one main symbol:
//   0-255    a literal byte
//   256      the last match again (its distance and length)
//   257-260  one of the last four distances (257 the latest), a length slot
//            from the repeat-length code: length = base + 2 + extra bits,
//            + 1 each for distances from 0x101, 0x2000 and 0x40000 up
//   261-268  length 2 at a short distance: base + 1 + extra bits
//   269      a table read
//   270-297  length slot s - 270: length = base + 3 + extra bits; then a
//            distance slot from the distance code: base + 1 + extra bits;
//            + 1 each to the length for distances from 0x2000 and 0x40000 up
// A step in audio mode decodes one symbol with the code of the current
// channel: 256 is a table read, 0-255 become a byte through the channel's
// predictor, and the channel moves on.
//
// Everything here is written for clarity, not speed: one bit at a time, a
// linear search for the code length, one byte at a time into the window.
#include "reference_decoder.h"

#include <array>
#include <cstdlib>

namespace qmtest {

namespace {

constexpr std::uint32_t kWindowSize = 1u << 20;
constexpr std::uint32_t kWindowMask = kWindowSize - 1;

// The input buffer of the library, modelled only so that a step that runs
// past the data reads the same leftover bytes: 8192 bytes, refilled keeping
// its last 32 bytes.
constexpr std::uint32_t kBufferSize = 8192;
constexpr std::uint32_t kBufferKeep = 32;

// Where the input is refilled: before a step once the cursor is past byte
// 8162, before a table read past 8167, before each code length past 8187.
constexpr std::uint32_t kRefillBeforeStep = 8162;
constexpr std::uint32_t kRefillBeforeTables = 8167;
constexpr std::uint32_t kRefillBeforeLength = 8187;

const std::uint32_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,   10,  12,  14,  16,  20,
                                       24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
const std::uint32_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                       2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
const std::uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
const std::uint32_t kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                         7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                         15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
const std::uint32_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
const std::uint32_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

constexpr std::uint32_t kMainCount = 298;
constexpr std::uint32_t kDistanceCount = 48;
constexpr std::uint32_t kRepeatLengthCount = 28;
constexpr std::uint32_t kLzLengths = kMainCount + kDistanceCount + kRepeatLengthCount;  // 374
constexpr std::uint32_t kAudioCount = 257;
constexpr std::uint32_t kAllLengths = 4 * kAudioCount;  // 1028

// The packed data as the decoder sees it, through the modelled buffer.
class Input {
public:
    explicit Input(const std::vector<std::uint8_t> &packed) : packed_(packed) {}

    void Fill()
    {
        available_ = Read(0, kBufferSize);
        pos_ = 0;
        bit_ = 0;
    }

    // The cursor has reached the last 32 bytes: they move to the front and
    // new data follows them.
    void Refill()
    {
        pos_ -= kBufferSize - kBufferKeep;
        for (std::uint32_t i = 0; i < kBufferKeep; ++i)
            buffer_[i] = buffer_[kBufferSize - kBufferKeep + i];
        start_ += kBufferSize - kBufferKeep;
        const std::uint32_t got = Read(kBufferKeep, kBufferSize - kBufferKeep);
        available_ = got >= 1 ? got + kBufferKeep : pos_;
    }

    std::uint32_t Pos() const { return pos_; }
    std::uint32_t Available() const { return available_; }

    // No bit of the packed data is left at the cursor.
    bool Spent() const { return start_ + pos_ >= packed_.size(); }

    // Some bit consumed so far lay past the end of the packed data.
    bool ReadPastData() const { return readPastData_; }

    std::uint32_t Peek16() const
    {
        std::uint32_t v = 0;
        for (std::uint32_t k = 0; k < 16; ++k)
            v = (v << 1) | BitAhead(k);
        return v;
    }

    void Skip(std::uint32_t n)
    {
        for (std::uint32_t k = 0; k < n; ++k) {
            if (start_ + pos_ >= packed_.size())
                readPastData_ = true;
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
    }

    // An n-bit field, first bit most significant; 0 bits read nothing.
    std::uint32_t Field(std::uint32_t n)
    {
        std::uint32_t v = 0;
        for (std::uint32_t k = 0; k < n; ++k) {
            v = (v << 1) | BitAhead(0);
            Skip(1);
        }
        return v;
    }

private:
    std::uint32_t Read(std::uint32_t offset, std::uint32_t count)
    {
        std::uint32_t n = 0;
        while (n < count && next_ < packed_.size())
            buffer_[offset + n++] = packed_[next_++];
        return n;
    }

    // Bit k after the cursor.  Beyond the buffer's end: zero.
    std::uint32_t BitAhead(std::uint32_t k) const
    {
        const std::uint32_t b = bit_ + k;
        const std::uint32_t index = pos_ + b / 8;
        const std::uint32_t byte = index < kBufferSize ? buffer_[index] : 0;
        return (byte >> (7 - b % 8)) & 1;
    }

    const std::vector<std::uint8_t> &packed_;
    std::array<std::uint8_t, kBufferSize> buffer_ = {};
    std::size_t next_ = 0;         // packed bytes read into the buffer so far
    std::size_t start_ = 0;        // position in the packed data of buffer_[0]
    std::uint32_t pos_ = 0;        // byte of the next bit in the buffer
    std::uint32_t bit_ = 0;        // bits of that byte already consumed
    std::uint32_t available_ = 0;  // bytes of the buffer that the latest fill made real
    bool readPastData_ = false;
};

// A canonical prefix code: codes grow in length, and within one length rise
// with the symbol number.
struct PrefixCode {
    // limits[L]: every left-justified 16-bit code of length L or less lies
    // below it (65535 at most).
    std::uint32_t limits[16] = {};
    // positions[L]: index in symbols of the first code of length L.
    std::uint32_t positions[16] = {};
    // The symbols that have a code, by code length, then by number.
    std::vector<std::uint32_t> symbols;
};

void BuildCode(const std::uint8_t *lengths, std::uint32_t n, PrefixCode &code)
{
    std::uint32_t count[16] = {};
    for (std::uint32_t i = 0; i < n; ++i)
        ++count[lengths[i]];
    count[0] = 0;
    code.limits[0] = 0;
    code.positions[0] = 0;
    std::uint32_t codes = 0;
    for (std::uint32_t len = 1; len <= 15; ++len) {
        codes = (codes + count[len]) * 2;
        const std::uint32_t limit = codes << (15 - len);
        code.limits[len] = limit < 65535 ? limit : 65535;
        code.positions[len] = code.positions[len - 1] + count[len - 1];
    }
    code.symbols.clear();
    for (std::uint32_t len = 1; len <= 15; ++len)
        for (std::uint32_t i = 0; i < n; ++i)
            if (lengths[i] == len)
                code.symbols.push_back(i);
}

std::uint32_t DecodeSymbol(const PrefixCode &code, Input &in)
{
    // The lowest of the 16 bits is never looked at.
    const std::uint32_t v = in.Peek16() & 0xFFFE;
    std::uint32_t len = 15;
    for (std::uint32_t l = 1; l <= 14; ++l) {
        if (v < code.limits[l]) {
            len = l;
            break;
        }
    }
    in.Skip(len);
    const std::uint32_t index = code.positions[len] + ((v - code.limits[len - 1]) >> (16 - len));
    if (index < code.symbols.size())
        return code.symbols[index];
    // A pattern no code covers (the lengths do not make a complete code): the
    // first symbol that has a code, or 0 when none has.
    return code.symbols.empty() ? 0 : code.symbols[0];
}

// The adaptive predictor of one audio channel.
struct Channel {
    std::int32_t weight[5] = {};
    std::int32_t delta1 = 0, delta2 = 0, delta3 = 0, delta4 = 0;
    std::int32_t lastDelta = 0;
    std::uint32_t errorSum[11] = {};
    std::uint32_t bytes = 0;
    std::uint32_t lastByte = 0;
};

std::uint32_t Abs(std::int32_t v)
{
    return static_cast<std::uint32_t>(v < 0 ? -v : v);
}

std::int32_t SignedByte(std::uint32_t b)
{
    b &= 0xFF;
    return b >= 128 ? static_cast<std::int32_t>(b) - 256 : static_cast<std::int32_t>(b);
}

// Turns one audio symbol into its byte; channelDelta is the delta of the
// latest audio byte of any channel.
std::uint8_t PredictByte(Channel &c, std::int32_t &channelDelta, std::uint32_t symbol)
{
    ++c.bytes;
    c.delta4 = c.delta3;
    c.delta3 = c.delta2;
    c.delta2 = c.lastDelta - c.delta1;
    c.delta1 = c.lastDelta;

    const std::int32_t sum = 8 * static_cast<std::int32_t>(c.lastByte) + c.weight[0] * c.delta1 +
                             c.weight[1] * c.delta2 + c.weight[2] * c.delta3 + c.weight[3] * c.delta4 +
                             c.weight[4] * channelDelta;
    // Division by 8 rounding toward minus infinity.
    const std::int32_t prediction = (sum >= 0 ? sum / 8 : -((-sum + 7) / 8)) & 0xFF;
    const std::uint32_t byte = static_cast<std::uint32_t>(prediction - static_cast<std::int32_t>(symbol)) & 0xFF;

    const std::int32_t d = SignedByte(symbol) * 8;
    const std::int32_t inputs[5] = {c.delta1, c.delta2, c.delta3, c.delta4, channelDelta};
    c.errorSum[0] += Abs(d);
    for (int j = 0; j < 5; ++j) {
        c.errorSum[1 + 2 * j] += Abs(d - inputs[j]);
        c.errorSum[2 + 2 * j] += Abs(d + inputs[j]);
    }

    c.lastDelta = SignedByte(byte - c.lastByte);
    channelDelta = c.lastDelta;
    c.lastByte = byte;

    if (c.bytes % 32 == 0) {
        std::uint32_t best = 0;
        for (std::uint32_t i = 1; i < 11; ++i)
            if (c.errorSum[i] < c.errorSum[best])
                best = i;
        for (std::uint32_t &e : c.errorSum)
            e = 0;
        if (best != 0) {
            std::int32_t &w = c.weight[(best - 1) / 2];
            const bool down = best % 2 == 1;
            if (down && w >= -16)
                w -= 1;
            if (!down && w < 16)
                w += 1;
        }
    }
    return static_cast<std::uint8_t>(byte);
}

class Decoder {
public:
    Decoder(const std::vector<std::uint8_t> &packed, std::uint32_t size)
        : in_(packed), size_(size), window_(kWindowSize, 0)
    {
    }

    ReferenceResult Run()
    {
        in_.Fill();
        ReadTables();
        bool stale = false;
        while (result_.output.size() < size_) {
            if (in_.Pos() > kRefillBeforeStep)
                in_.Refill();
            if (in_.Spent())
                break;
            const std::size_t before = result_.output.size();
            Step();
            if (!stale && in_.ReadPastData()) {
                stale = true;
                result_.fromRealBits = before;
            }
        }
        if (!stale)
            result_.fromRealBits = result_.output.size();
        CheckFinalTables();
        return std::move(result_);
    }

private:
    void Step()
    {
        if (audio_) {
            const std::uint32_t s = DecodeSymbol(audioCodes_[channel_], in_);
            if (s == 256) {
                ReadTables();
                return;
            }
            Put(PredictByte(channels_[channel_], channelDelta_, s));
            channel_ = channel_ + 1 == channelCount_ ? 0 : channel_ + 1;
            return;
        }

        const std::uint32_t s = DecodeSymbol(mainCode_, in_);
        if (s < 256) {
            Put(static_cast<std::uint8_t>(s));
        } else if (s == 256) {
            Match(lastDistance_, lastLength_);
        } else if (s <= 260) {
            const std::uint32_t distance = oldDistances_[(matchCount_ - (s - 256)) % 4];
            const std::uint32_t k = DecodeSymbol(repeatLengthCode_, in_);
            std::uint32_t length = kLengthBase[k] + 2 + in_.Field(kLengthBits[k]);
            if (distance >= 0x40000)
                length += 1;
            if (distance >= 0x2000)
                length += 1;
            if (distance >= 0x101)
                length += 1;
            Match(distance, length);
        } else if (s <= 268) {
            const std::uint32_t k = s - 261;
            const std::uint32_t distance = kShortBase[k] + 1 + in_.Field(kShortBits[k]);
            Match(distance, 2);
        } else if (s == 269) {
            ReadTables();
        } else {
            const std::uint32_t k = s - 270;
            std::uint32_t length = kLengthBase[k] + 3 + in_.Field(kLengthBits[k]);
            const std::uint32_t d = DecodeSymbol(distanceCode_, in_);
            const std::uint32_t distance = kDistanceBase[d] + 1 + in_.Field(kDistanceBits[d]);
            if (distance >= 0x40000)
                length += 1;
            if (distance >= 0x2000)
                length += 1;
            Match(distance, length);
        }
    }

    void Put(std::uint8_t b)
    {
        window_[writePos_] = b;
        writePos_ = (writePos_ + 1) & kWindowMask;
        result_.output.push_back(b);
    }

    // Records the match, then copies it byte by byte, stopping at the
    // unpacked size.
    void Match(std::uint32_t distance, std::uint32_t length)
    {
        lastDistance_ = distance;
        oldDistances_[matchCount_ % 4] = distance;
        matchCount_ += 1;
        lastLength_ = length;
        for (std::uint32_t k = 0; k < length && result_.output.size() < size_; ++k)
            Put(window_[(writePos_ - distance) & kWindowMask]);
    }

    void ReadTables()
    {
        if (in_.Pos() > kRefillBeforeTables)
            in_.Refill();
        const std::uint32_t header = in_.Peek16();
        audio_ = (header & 0x8000) != 0;
        if ((header & 0x4000) == 0)
            previousLengths_.fill(0);
        in_.Skip(2);
        std::uint32_t total = kLzLengths;
        if (audio_) {
            channelCount_ = ((header >> 12) & 3) + 1;
            if (channel_ >= channelCount_)
                channel_ = 0;
            in_.Skip(2);
            total = kAudioCount * channelCount_;
        }

        std::uint8_t bitLengths[19];
        for (std::uint8_t &l : bitLengths)
            l = static_cast<std::uint8_t>(in_.Field(4));
        BuildCode(bitLengths, 19, bitLengthCode_);

        // Entries past the lengths read stay 0; a run of the previous length
        // at the very first entry repeats 0.
        std::array<std::uint8_t, kAllLengths> lengths = {};
        std::uint32_t i = 0;
        while (i < total) {
            if (in_.Pos() > kRefillBeforeLength)
                in_.Refill();
            const std::uint32_t t = DecodeSymbol(bitLengthCode_, in_);
            if (t < 16) {
                lengths[i] = static_cast<std::uint8_t>((previousLengths_[i] + t) % 16);
                i += 1;
            } else if (t == 16) {
                const std::uint32_t n = in_.Field(2) + 3;
                const std::uint8_t repeated = i > 0 ? lengths[i - 1] : 0;
                for (std::uint32_t k = 0; k < n && i < total; ++k)
                    lengths[i++] = repeated;
            } else {
                const std::uint32_t n = t == 17 ? in_.Field(3) + 3 : in_.Field(7) + 11;
                for (std::uint32_t k = 0; k < n && i < total; ++k)
                    lengths[i++] = 0;
            }
        }

        if (audio_) {
            for (std::uint32_t c = 0; c < channelCount_; ++c)
                BuildCode(&lengths[kAudioCount * c], kAudioCount, audioCodes_[c]);
        } else {
            BuildCode(&lengths[0], kMainCount, mainCode_);
            BuildCode(&lengths[kMainCount], kDistanceCount, distanceCode_);
            BuildCode(&lengths[kMainCount + kDistanceCount], kRepeatLengthCount, repeatLengthCode_);
        }
        previousLengths_ = lengths;
    }

    // After the last step: when at least 5 bytes of the latest fill lie at or
    // past the cursor, one more symbol is decoded, and if it is the table
    // switch the tables are read.  Nothing of this reaches the output.
    void CheckFinalTables()
    {
        if (in_.Available() < in_.Pos() + 5)
            return;
        if (audio_) {
            if (DecodeSymbol(audioCodes_[channel_], in_) == 256)
                ReadTables();
        } else if (DecodeSymbol(mainCode_, in_) == 269) {
            ReadTables();
        }
    }

    Input in_;
    std::uint32_t size_;
    ReferenceResult result_;

    std::vector<std::uint8_t> window_;
    std::uint32_t writePos_ = 0;
    std::uint32_t oldDistances_[4] = {};
    std::uint32_t matchCount_ = 0;
    std::uint32_t lastDistance_ = 0;
    std::uint32_t lastLength_ = 0;

    std::array<std::uint8_t, kAllLengths> previousLengths_ = {};
    PrefixCode bitLengthCode_, mainCode_, distanceCode_, repeatLengthCode_;
    PrefixCode audioCodes_[4];

    bool audio_ = false;
    std::uint32_t channelCount_ = 1;
    std::uint32_t channel_ = 0;
    Channel channels_[4];
    std::int32_t channelDelta_ = 0;
};

}  // namespace

ReferenceResult ReferenceDecodeDetailed(const std::vector<std::uint8_t> &packed, std::uint32_t unpackedSize)
{
    // The size field is signed: a negative size decodes nothing.
    const std::uint32_t size = unpackedSize > 0x7FFFFFFFu ? 0 : unpackedSize;
    Decoder decoder(packed, size);
    return decoder.Run();
}

}  // namespace qmtest
