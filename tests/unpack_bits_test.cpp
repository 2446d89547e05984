// Bit input and prefix-code tables of the stream decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "encoder_inputs.h"
#include "extract/pipeline.h"
#include "support/own_session.h"
#include "unpack/bit_input.h"
#include "unpack/huffman.h"
#include "unpack_harness.h"

namespace {

TEST(UnpackBits, PeekTakesSixteenBitsFromTheBitPosition)
{
    qm::PackedInput input{};
    std::memset(input.bytes, 0, sizeof input.bytes);
    input.bytes[10] = 0x01;  // its last bit is the first bit peeked
    input.bytes[11] = 0xA5;
    input.bytes[12] = 0xFE;  // its first 7 bits are the last ones peeked
    input.bytes[13] = 0xFF;  // beyond the 16 bits: must not show
    input.pos = 10;
    input.bitPos = 7;
    qm::BitCursor c;
    c.Load(input);
    EXPECT_EQ(c.Peek16(), 0xD2FFu);  // 1 10100101 1111111
    // Fields are read most significant bit first and advance the cursor.
    EXPECT_EQ(c.Bits(1), 1u);
    EXPECT_EQ(c.pos, 11u);
    EXPECT_EQ(c.bit, 0u);
    EXPECT_EQ(c.Bits(3), 0x5u);
    EXPECT_EQ(c.Bits(0), 0u);
    EXPECT_EQ(c.Bits(9), 0x5Fu);  // 00101 1111
    c.Store(input);
    EXPECT_EQ(input.pos, 12u);
    EXPECT_EQ(input.bitPos, 4u);
}

// The input pulls its bytes through a session's reader from a carrier file.
class UnpackInput : public ::testing::Test, public qmtest::OwnSession {
protected:
    void SetUp() override
    {
        data_ = qmtest::RandomBytes(30000, 99);
        const std::string path = dir_.Write("packed.bin", data_);
        S().carrier = qm::platform::OpenForRead(path.c_str());
        ASSERT_NE(S().carrier, nullptr);
        S().transfer.packedLeft = static_cast<std::uint32_t>(data_.size());
        S().transfer.activeCipher = -1;
        S().transfer.readIvFirst = false;
        input_.source = &source_;
    }
    void TearDown() override
    {
        qm::platform::Close(S().carrier);
        S().carrier = nullptr;
    }

    // The 16 bits at the input's cursor.
    std::uint32_t Peek() const
    {
        qm::BitCursor c;
        c.Load(input_);
        return c.Peek16();
    }

    // The 16 bits of the data at bit offset n.
    std::uint32_t BitsAt(std::size_t n) const
    {
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 16; ++k)
            v = (v << 1) | ((data_[(n + k) / 8] >> (7 - (n + k) % 8)) & 1);
        return v;
    }

    class SessionSource final : public qm::PackedSource {
    public:
        explicit SessionSource(qm::ExportSession &session) : session_(session) {}
        std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override
        {
            return qm::ReadPackedData(session_, buffer, count);
        }

    private:
        qm::ExportSession &session_;
    };

    qmtest::TempDir dir_;
    qmpack::Bytes data_;
    SessionSource source_{S()};
    qm::PackedInput input_{};
};

TEST_F(UnpackInput, RefillKeepsTheBitsAtTheCursor)
{
    input_.pos = 0;
    input_.bitPos = 0;
    input_.Fill();
    EXPECT_EQ(input_.available, 8192u);
    std::size_t consumed = 0;  // bytes of the data behind buffer offset 0
    std::vector<std::uint32_t> available;
    // 8189 is the furthest a peek may start: the refill points keep it there.
    for (std::uint32_t pos : {8163u, 8170u, 8189u}) {
        input_.pos = pos;
        input_.bitPos = 5;
        const std::size_t bit = (consumed + pos) * 8 + 5;
        ASSERT_EQ(Peek(), BitsAt(bit));
        input_.Refill();
        EXPECT_EQ(input_.pos, pos - 8160);
        EXPECT_EQ(input_.bitPos, 5u);
        if (bit / 8 + 3 <= data_.size()) {
            EXPECT_EQ(Peek(), BitsAt(bit));
        }
        available.push_back(input_.available);
        consumed += 8160;
    }
    // 30000 bytes: 8192, then 8160, 8160 and the last 5488.
    EXPECT_EQ(available, (std::vector<std::uint32_t>{8160 + 32, 8160 + 32, 5488 + 32}));
    // Exhausted: nothing read, InputAvailable drops to the cursor.
    input_.pos = 8170;
    input_.Refill();
    EXPECT_EQ(input_.available, 10u);
}

// The symbols of a code, decoded the long way: the smallest length from 1 to
// 14 whose limit lies above v, else 15.
struct ReferenceCode {
    std::uint32_t limits[16] = {};
    std::uint32_t positions[16] = {};
    std::vector<std::uint32_t> symbols;

    explicit ReferenceCode(const std::vector<std::uint8_t> &lengths)
    {
        std::uint32_t count[16] = {};
        for (auto l : lengths)
            ++count[l];
        count[0] = 0;
        std::uint32_t n = 0;
        for (int len = 1; len <= 15; ++len) {
            n = (n + count[len]) * 2;
            limits[len] = std::min<std::uint32_t>(n << (15 - len), 65535);
            positions[len] = positions[len - 1] + count[len - 1];
        }
        for (int len = 1; len <= 15; ++len)
            for (std::size_t i = 0; i < lengths.size(); ++i)
                if (lengths[i] == len)
                    symbols.push_back(static_cast<std::uint32_t>(i));
    }

    std::uint32_t Decode(std::uint32_t v, std::uint32_t &length) const
    {
        std::uint32_t len = 1;
        while (len < 15 && v >= limits[len])
            ++len;
        length = len;
        const std::uint32_t index = positions[len] + ((v - limits[len - 1]) >> (16 - len));
        if (symbols.empty())
            return 0;
        return index < symbols.size() ? symbols[index] : symbols[0];
    }
};

TEST(UnpackCodes, CanonicalCodesDecodeInOrder)
{
    struct Case {
        std::vector<std::uint8_t> lengths;
        std::uint32_t bits;   // the code, left-justified in 16 bits
        std::uint32_t symbol;
        std::uint32_t length;
    };
    std::vector<std::uint8_t> deep(20, 0);  // lengths 1, 2, ..., 14, 15, 15
    for (int i = 0; i < 14; ++i)
        deep[i] = static_cast<std::uint8_t>(i + 1);
    deep[14] = deep[15] = 15;
    const Case cases[] = {
        {{2, 1, 3, 3}, 0x0000, 1, 1},  // code 0
        {{2, 1, 3, 3}, 0x8000, 0, 2},  // code 10
        {{2, 1, 3, 3}, 0xC000, 2, 3},  // code 110
        {{2, 1, 3, 3}, 0xE000, 3, 3},  // code 111
        {{2, 1, 3, 3}, 0xFFFF, 3, 3},  // the unused lowest bit is ignored
        {{0, 0, 1, 0}, 0x0000, 2, 1},  // a single code of length 1
        {deep, 0xFFFC, 14, 15},        // 15-bit codes through the default length
        {deep, 0xFFFE, 15, 15},        // the all-ones code of a complete code
        {deep, 0xFFF8, 13, 14},
    };
    qm::DecodeTable table;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bits);
        qm::BuildDecodeTable(c.lengths.data(), static_cast<std::uint32_t>(c.lengths.size()), table);
        std::uint32_t length;
        EXPECT_EQ(qm::LookupSymbol(table, c.bits & 0xFFFE, length), c.symbol);
        EXPECT_EQ(length, c.length);
    }
    EXPECT_EQ(table.CodeLimits[15], 65535u);  // the complete code's bound is clamped
}

TEST(UnpackCodes, LookupAgreesWithTheComparisonsForAnyLengths)
{
    // Complete, incomplete, over-full and empty codes over every alphabet
    // size: every 16-bit pattern gives the same symbol and length as the
    // comparisons, and never a symbol outside the alphabet.
    std::uint32_t seed = 7;
    qm::DecodeTable table;
    for (int round = 0; round < 60; ++round) {
        const std::uint32_t sizes[] = {19, 28, 48, 257, 298};
        const std::uint32_t n = sizes[round % 5];
        std::vector<std::uint8_t> lengths(n);
        const int style = round % 4;
        for (auto &l : lengths) {
            const std::uint32_t r = qmtest::NextRandom(seed);
            l = style == 0   ? 0
                : style == 1 ? static_cast<std::uint8_t>(r % 16)                       // often over-full
                : style == 2 ? static_cast<std::uint8_t>(r % 3 == 0 ? 0 : 9 + r % 7)  // incomplete
                             : static_cast<std::uint8_t>(r % 5 == 0 ? 1 + r % 15 : 0);
        }
        // Fill the table with another code first: nothing of it may show.
        std::vector<std::uint8_t> other(n, 4);
        qm::BuildDecodeTable(other.data(), n, table);
        qm::BuildDecodeTable(lengths.data(), n, table);
        const ReferenceCode ref(lengths);
        for (std::uint32_t v = 0; v < 65536; v += 2) {
            std::uint32_t gotLength, wantLength;
            const std::uint32_t got = qm::LookupSymbol(table, v, gotLength);
            const std::uint32_t want = ref.Decode(v, wantLength);
            ASSERT_EQ(gotLength, wantLength) << "round " << round << " v " << v;
            ASSERT_EQ(got, want) << "round " << round << " v " << v;
            ASSERT_LT(got, n);
        }
    }
}

}  // namespace
