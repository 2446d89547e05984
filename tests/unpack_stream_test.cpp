// The decoding loop on hand-built streams, on damaged streams and with a
// writer that fails or a host that cancels.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "state/callbacks.h"
#include "encoder_inputs.h"
#include "packer/encoder.h"
#include "unpack_harness.h"

namespace {

using qmpack::Bytes;

using qmtest::BitSink;

// Builds streams symbol by symbol with fixed-width codes (main symbols 9
// bits, distance slots 6, repeat-length slots 5, bit-length symbols 5) and
// keeps a plain model of what they decode to: a growing byte vector in which
// a match copies byte by byte from distance back, reading zeros before the
// start (the fresh window).
class StreamBuilder {
public:
    StreamBuilder() { Tables(); }

    void Bits(std::uint32_t value, int count) { sink_.Bits(value, count); }

    // A table read without deltas: every main symbol 9 bits, every distance
    // slot 6, every repeat-length slot 5.
    void Tables()
    {
        Bits(0, 2);
        for (int s = 0; s < 19; ++s)
            Bits(5, 4);
        for (int i = 0; i < 298; ++i)
            Bits(9, 5);
        for (int i = 0; i < 48; ++i)
            Bits(6, 5);
        for (int i = 0; i < 28; ++i)
            Bits(5, 5);
    }

    void Literal(std::uint8_t b)
    {
        Bits(b, 9);
        expected.push_back(b);
    }

    // Symbols 270-297: 3 to 258 plus the bonus of the distance.
    void Match(std::uint32_t length, std::uint32_t distance)
    {
        const std::uint32_t v = length - Bonus(distance, false) - 3;
        const int k = Slot(qm::LengthBase, v);
        Bits(270 + k, 9);
        Bits(v - qm::LengthBase[k], qm::LengthBits[k]);
        const int d = Slot(qm::DistanceBase, distance - 1);
        Bits(d, 6);
        Bits(distance - 1 - qm::DistanceBase[d], qm::DistanceBits[d]);
        Copy(distance, length);
    }

    // Symbols 261-268: length 2, distance 1 to 256.
    void Short(std::uint32_t distance)
    {
        const int k = Slot(qm::ShortDistanceBase, distance - 1);
        Bits(261 + k, 9);
        Bits(distance - 1 - qm::ShortDistanceBase[k], qm::ShortDistanceBits[k]);
        Copy(distance, 2);
    }

    // Symbols 257-260: j = 0 the latest distance.
    void Old(int j, std::uint32_t length)
    {
        const std::uint32_t distance = old_[(count_ - (j + 1)) & 3];
        const std::uint32_t v = length - Bonus(distance, true) - 2;
        const int k = Slot(qm::LengthBase, v);
        Bits(257 + j, 9);
        Bits(k, 5);
        Bits(v - qm::LengthBase[k], qm::LengthBits[k]);
        Copy(distance, length);
    }

    void RepeatLast()
    {
        Bits(256, 9);
        Copy(lastDistance_, lastLength_);
    }

    void NewTables()
    {
        Bits(269, 9);
        Tables();
    }

    std::uint32_t OldDistance(int j) const { return old_[(count_ - (j + 1)) & 3]; }
    static std::uint32_t Bonus(std::uint32_t d, bool old)
    {
        return (old && d >= 0x101) + (d >= 0x2000) + (d >= 0x40000);
    }

    const Bytes &Stream() const { return sink_.out; }
    Bytes expected;

private:
    template <typename T, std::size_t N>
    static int Slot(const T (&base)[N], std::uint32_t v)
    {
        return static_cast<int>(std::upper_bound(base, base + N, v) - base) - 1;
    }

    void Copy(std::uint32_t distance, std::uint32_t length)
    {
        lastDistance_ = distance;
        old_[count_ & 3] = distance;
        ++count_;
        lastLength_ = length;
        for (std::uint32_t k = 0; k < length; ++k) {
            // Distance 0 reads the window slot about to be written: the byte a
            // whole window back.
            const std::int64_t src = static_cast<std::int64_t>(expected.size()) -
                                     (distance ? distance : qm::kWindowSize);
            expected.push_back(src >= 0 ? expected[static_cast<std::size_t>(src)] : 0);
        }
    }

    BitSink sink_;
    std::uint32_t old_[4] = {};
    std::uint32_t count_ = 0;
    std::uint32_t lastDistance_ = 0;
    std::uint32_t lastLength_ = 0;
};

TEST(UnpackStream, EveryOperationMatchesThePlainModel)
{
    // A random mix of every symbol kind over more than a window: all distance
    // slots and length bonuses, matches across the window's start, flushes in
    // two pieces, table reads mid-stream.
    StreamBuilder b;
    std::uint32_t seed = 2024;
    for (int i = 0; i < 300; ++i)
        b.Literal(static_cast<std::uint8_t>(qmtest::NextRandom(seed)));
    while (b.expected.size() < 0x150000) {
        const std::uint32_t r = qmtest::NextRandom(seed);
        const std::uint32_t size = static_cast<std::uint32_t>(b.expected.size());
        switch (r % 16) {
        case 0: case 1: case 2: case 3: {
            // Far distances are drawn often enough to reach every slot.
            const std::uint32_t limit = std::min<std::uint32_t>(size, qm::kWindowSize);
            const std::uint32_t distance = (r >> 4) % 3 == 0 ? 1 + (r >> 8) % 300 : 1 + (r >> 8) % limit;
            const std::uint32_t bonus = StreamBuilder::Bonus(distance, false);
            b.Match(3 + bonus + (r >> 12) % 256, distance);
            break;
        }
        case 4:
            b.Short(1 + (r >> 8) % 256);
            break;
        case 5: case 6: {
            const int j = static_cast<int>((r >> 4) & 3);
            const std::uint32_t bonus = StreamBuilder::Bonus(b.OldDistance(j), true);
            b.Old(j, 2 + bonus + (r >> 8) % 256);
            break;
        }
        case 7:
            b.RepeatLast();
            break;
        case 8:
            if ((r >> 8) % 16 == 0)
                b.NewTables();
            break;
        default:
            b.Literal(static_cast<std::uint8_t>(r >> 24));
        }
    }
    const auto size = static_cast<std::int32_t>(b.expected.size());
    const auto session = std::make_unique<qm::ExportSession>();
    const auto d = qmtest::DecodeStream(b.Stream(), size, {.session = session.get()});
    EXPECT_EQ(d.status, 0);
    ASSERT_EQ(d.output.size(), b.expected.size());
    EXPECT_TRUE(d.output == b.expected);
    EXPECT_EQ(d.crc, qmpack::Crc32(b.expected));
    EXPECT_EQ(session->transfer.bytesDone, size);
}

TEST(UnpackStream, OutputNeverExceedsTheUnpackedSize)
{
    // A match that reaches past the entry's size is cut at it: the surplus is
    // neither written nor counted in the CRC.
    struct Case {
        const char *name;
        std::int32_t size;
        void (*build)(StreamBuilder &);
    };
    const Case cases[] = {
        {"long match", 5, [](StreamBuilder &b) { b.Literal('a'); b.Match(10, 1); }},
        {"short match", 3, [](StreamBuilder &b) { b.Literal('a'); b.Literal('b'); b.Short(1); }},
        {"first symbol a match", 1, [](StreamBuilder &b) { b.Match(40, 7); }},
        {"repeat of the last match", 7,
         [](StreamBuilder &b) { b.Literal('x'); b.Match(4, 1); b.RepeatLast(); }},
        {"old distance", 6, [](StreamBuilder &b) { b.Literal('q'); b.Match(3, 1); b.Old(0, 200); }},
        {"exact fit", 4, [](StreamBuilder &b) { b.Literal('z'); b.Match(3, 1); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StreamBuilder b;
        c.build(b);
        const Bytes want(b.expected.begin(), b.expected.begin() + c.size);
        const auto session = std::make_unique<qm::ExportSession>();
        const auto d = qmtest::DecodeStream(b.Stream(), c.size, {.session = session.get()});
        EXPECT_EQ(d.output, want);
        EXPECT_EQ(d.crc, qmpack::Crc32(want));
        EXPECT_EQ(session->transfer.bytesDone, c.size);
        EXPECT_EQ(session->transfer.unpackedLeft, -1);
    }
}

TEST(UnpackStream, MatchesWithoutHistoryCopyZeros)
{
    // 256 before any match copies nothing but records distance 0; an old
    // distance from that slot copies each window byte onto itself (zeros in a
    // fresh window); a distance beyond what was produced reads zeros.
    StreamBuilder b;
    b.Literal('x');
    b.RepeatLast();
    b.Literal('y');
    b.Old(0, 2);
    b.Old(3, 3);
    b.Match(5, 1000);
    b.Literal('z');
    const Bytes want = {'x', 'y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'z'};
    ASSERT_EQ(b.expected, want);
    const auto d = qmtest::DecodeStream(b.Stream(), static_cast<std::int32_t>(want.size()));
    EXPECT_EQ(d.output, want);
}

TEST(UnpackStream, TheNextStreamSeesNoByteOfTheLast)
{
    // One session decodes a stream of random bytes, then a stream whose far
    // matches reach back across the window's wrap into every part the first
    // stream wrote (and beyond it): they must read zeros, as in a fresh
    // window, whatever the first stream's size.
    constexpr auto kWindow = static_cast<std::int32_t>(qm::kWindowSize);
    for (const std::int32_t before : {1, 5000, 70000, kWindow - 100, kWindow + 5000}) {
        SCOPED_TRACE(before);
        const auto session = std::make_unique<qm::ExportSession>();
        const Bytes random = qmtest::RandomBytes(static_cast<std::size_t>(before), 3);
        ASSERT_EQ(qmtest::DecodeStream(qmpack::EncodeLz(random), before, {.session = session.get()}).output, random);

        StreamBuilder b;
        b.Literal('a');
        b.Literal('b');
        b.Literal('c');
        const std::uint32_t used = static_cast<std::uint32_t>(std::min(before, kWindow));
        for (const std::uint32_t target : {std::uint32_t{3}, used / 2, used - 150, used + 40}) {
            const auto at = static_cast<std::uint32_t>(b.expected.size());
            if (target < at || target + 200 > qm::kWindowSize)
                continue;
            b.Match(200, qm::kWindowSize - (target - at));  // reads target..target+199
        }
        b.Literal('z');
        const auto size = static_cast<std::int32_t>(b.expected.size());
        ASSERT_TRUE(std::all_of(b.expected.begin() + 3, b.expected.end() - 1, [](std::uint8_t v) { return v == 0; }));
        const auto d = qmtest::DecodeStream(b.Stream(), size, {.session = session.get()});
        EXPECT_TRUE(d.output == b.expected);
    }
}

TEST(UnpackStream, RunCodeAsTheFirstLengthRepeatsZero)
{
    // Header, a bit-length code of nineteen 5-bit codes, then run symbol 16
    // first: 3 + 3 = 6 repeats of the missing previous length.
    BitSink w;
    w.Bits(0, 2);
    for (int i = 0; i < 19; ++i)
        w.Bits(5, 4);
    w.Bits(16, 5);
    w.Bits(3, 2);
    for (int i = 6; i < 298; ++i)
        w.Bits(9, 5);
    for (int i = 0; i < 76; ++i)
        w.Bits(5, 5);
    // Symbols 0-5 have no code, so 'A' (65) has the 60th 9-bit code.
    w.Bits(65 - 6, 9);
    w.Bits(66 - 6, 9);
    const auto d = qmtest::DecodeStream(w.out, 2);
    EXPECT_EQ(d.output, (Bytes{'A', 'B'}));
}

TEST(UnpackStream, AudioTablesDecodeWithinBounds)
{
    // Four audio channels of arbitrary symbols: the entry stops at its size
    // and stays inside its buffers.
    BitSink w;
    w.Bits(2, 2);  // audio mode, no deltas
    w.Bits(3, 2);  // four channels
    for (int i = 0; i < 19; ++i)
        w.Bits(5, 4);
    for (int i = 0; i < 4 * 257; ++i)
        w.Bits(9, 5);
    for (int i = 0; i < 500; ++i)
        w.Bits(static_cast<std::uint32_t>(i * 7 % 256), 9);
    const auto d = qmtest::DecodeStream(w.out, 500);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.output.size(), 500u);
}

// A host that cancels, and a disk that is full, end the decoding at the first
// flush: nothing more is decoded or written.
std::int32_t g_progressCalls = 0;
std::int32_t QM_CALL CancelAtOnce(QmUserValue, std::int32_t, std::int32_t)
{
    ++g_progressCalls;
    return 0;
}

TEST(UnpackStream, CancelOrWriteFailureStopsAtTheFirstFlush)
{
    const Bytes data = qmtest::MixedBytes(3 * qm::kWindowSize, 31);
    const Bytes stream = qmpack::EncodeLz(data);
    const auto size = static_cast<std::int32_t>(data.size());

    const auto cancelling = std::make_unique<qm::ExportSession>();
    cancelling->callbacks.progress = {CancelAtOnce, 0};
    g_progressCalls = 0;
    const auto cancelled = qmtest::DecodeStream(stream, size, {.session = cancelling.get()});
    EXPECT_EQ(cancelled.status, QM_STATUS_STOPPED);
    EXPECT_EQ(g_progressCalls, 1);
    ASSERT_GT(cancelled.output.size(), qm::kWindowSize - 300);
    ASSERT_LT(cancelled.output.size(), qm::kWindowSize);
    EXPECT_TRUE(std::equal(cancelled.output.begin(), cancelled.output.end(), data.begin()));

    const auto fullSession = std::make_unique<qm::ExportSession>();
    const auto full = qmtest::DecodeStream(stream, size, {.acceptNothing = true, .session = fullSession.get()});
    EXPECT_EQ(full.status, QM_STATUS_WRITE_FAILED);
    EXPECT_TRUE(full.output.empty());
    EXPECT_LT(fullSession->transfer.bytesDone, static_cast<std::int32_t>(qm::kWindowSize));
}

TEST(UnpackStream, DamagedStreamsTerminateInsideTheirBuffers)
{
    // Random bytes, and real streams truncated, bit-flipped or with bytes
    // inserted: each decode ends, writes at most the unpacked size (less when
    // the stream runs out of real bits first), and a
    // damaged real stream does not pass for the original (unless the damage
    // fell where the decoder never looks).  Under the sanitizers this also
    // proves that every buffer access stays inside.
    std::vector<Bytes> originals = {qmtest::TextBytes(30000, 1), qmtest::BinaryBytes(20000, 2),
                                    qmtest::RunBytes(50000, 3), qmtest::RandomBytes(3000, 4)};
    std::vector<Bytes> streams;
    for (const Bytes &o : originals)
        streams.push_back(qmpack::EncodeLz(o, {300, qmpack::TableDelta::Alternate, 8, true, 0x100000}));

    std::uint32_t seed = 77;
    int rejected = 0, total = 0;
    qmtest::TempDir dir;
    for (int round = 0; round < 1500; ++round) {
        const std::uint32_t r = qmtest::NextRandom(seed);
        Bytes stream;
        std::int32_t size;
        const Bytes *original = nullptr;
        if (round % 3 == 0) {
            stream = qmtest::RandomBytes(r % 4000, r);
            size = static_cast<std::int32_t>(qmtest::NextRandom(seed) % 300000);
        } else {
            const std::size_t which = r % originals.size();
            original = &originals[which];
            stream = streams[which];
            size = static_cast<std::int32_t>(original->size());
            const std::uint32_t kind = (r >> 8) % 3;
            const std::size_t at = qmtest::NextRandom(seed) % stream.size();
            if (kind == 0)
                stream.resize(at);
            else if (kind == 1)
                stream[at] ^= static_cast<std::uint8_t>(1u << ((r >> 16) & 7));
            else
                stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(at),
                              static_cast<std::uint8_t>(r >> 24));
        }
        const auto d = qmtest::DecodeStream(stream, size, {.workDir = &dir});
        ASSERT_EQ(d.status, 0) << "round " << round;
        ASSERT_LE(d.output.size(), static_cast<std::size_t>(std::max(size, 0))) << "round " << round;
        if (original) {
            ++total;
            rejected += d.crc != qmpack::Crc32(*original);
        }
    }
    // Nearly every damaged stream is caught by its CRC.
    EXPECT_GT(rejected, total * 9 / 10);
}

TEST(UnpackStream, StreamThatProducesNothingPastItsEndStops)
{
    // The tables give the repeat-last symbol a 1-bit code and nothing else a
    // code, so every step repeats the last match, which has length 0 before
    // any match.  Past the end of the packed data the decoder goes on over the
    // bytes its buffer still holds, and it must not do so for ever.
    BitSink sink;
    const auto zeroLengths = [&](std::uint32_t n) {  // symbol 18: 11-138 zero lengths
        sink.Bits(1, 1);
        sink.Bits(n - 11, 7);
    };
    sink.Bits(0, 2);
    for (int s = 0; s < 19; ++s)
        sink.Bits(s == 1 || s == 18 ? 1 : 0, 4);  // '0' is symbol 1, '1' symbol 18
    zeroLengths(138);  // main symbols 0-255 get no code
    zeroLengths(118);
    sink.Bits(0, 1);   // symbol 256: length 1
    zeroLengths(117);  // 257-373: no code
    Bytes stream = sink.out;
    stream.resize(100, 0);

    const auto d = qmtest::DecodeStream(stream, 5000);
    EXPECT_EQ(d.status, 0);
    EXPECT_TRUE(d.output.empty());
}

TEST(UnpackStream, StreamCutShortEndsWithItsLastRealBit)
{
    // Symbols of a fixed 9-bit code behind a table read of known size: the
    // symbol that starts on bit b is decoded exactly when b lies inside the
    // real data, so a cut after n bytes yields ceil((8n - tables) / 9)
    // bytes, the last of them perhaps from stale bits, and no more, however
    // large the declared size.  Cuts inside the first buffer, at its end, and
    // inside a refill; LZ and audio mode.
    struct Mode {
        const char *name;
        bool audio;
        std::uint32_t tableBits;
    };
    const Mode modes[] = {{"lz", false, 2 + 19 * 4 + 374 * 5}, {"audio", true, 4 + 19 * 4 + 257 * 5}};
    constexpr std::uint32_t kSymbols = 12000;
    for (const Mode &mode : modes) {
        BitSink w;
        w.Bits(mode.audio ? 2 : 0, 2);
        if (mode.audio)
            w.Bits(0, 2);  // one channel
        for (int s = 0; s < 19; ++s)
            w.Bits(5, 4);
        const std::uint32_t lengths = mode.audio ? 257 : 374;
        for (std::uint32_t i = 0; i < lengths; ++i)
            w.Bits(9, 5);
        ASSERT_EQ(w.out.size() * 8 - static_cast<std::size_t>((8 - w.bit) & 7), mode.tableBits);
        Bytes literals;
        for (std::uint32_t i = 0; i < kSymbols; ++i) {
            literals.push_back(static_cast<std::uint8_t>(i * 7 + 3));
            w.Bits(literals.back(), 9);
        }
        for (const std::uint32_t cut : {1000u, 4001u, 8191u, 8192u, 8193u, 8200u, 12345u}) {
            SCOPED_TRACE(std::string(mode.name) + " cut after " + std::to_string(cut));
            const Bytes stream(w.out.begin(), w.out.begin() + cut);
            const auto session = std::make_unique<qm::ExportSession>();
            const auto d = qmtest::DecodeStream(stream, 1 << 30, {.session = session.get()});
            const std::size_t started = (cut * 8 - mode.tableBits + 8) / 9;
            EXPECT_EQ(d.status, 0);
            EXPECT_EQ(d.output.size(), started);
            EXPECT_EQ(session->transfer.bytesDone, static_cast<std::int32_t>(started));
            if (!mode.audio) {
                // Every byte before the last came from real bits only.
                ASSERT_GE(d.output.size(), 1u);
                EXPECT_TRUE(std::equal(d.output.begin(), d.output.end() - 1, literals.begin()));
            }
        }
    }
}

}  // namespace
