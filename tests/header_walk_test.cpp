// The walk over the header blocks: what each block fills in, where the walk
// ends normally, and how it ends on a damaged block.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "state/status.h"
#include "container/header_block.h"
#include "container/session.h"
#include "quillmark.h"
#include "support/own_session.h"
#include "support/temp_dir.h"

namespace {

using qmpack::Bytes;
using qmpack::CarrierSpec;
using qmpack::EntrySpec;

struct WalkedEntry {
    HidFileItem item;
    std::string nameBuffer;
    Bytes block;
};

struct Walk {
    std::vector<WalkedEntry> entries;
    uint16_t status = 0;
};

// Opens the carrier and reads header blocks until the walk ends.
Walk WalkCarrier(qmtest::OwnSession &host, const std::string &path)
{
    Walk walk;
    host.InitArcFile(path.c_str());
    EXPECT_EQ(GetArchiveStatus(), 0) << "open " << path;
    host.S().carrier = qm::platform::OpenForRead(host.S().archive.CarrierPath);
    EXPECT_NE(host.S().carrier, nullptr);
    host.S().archive.WalkPos = host.S().archive.FirstBlockPos;
    for (int guard = 0; guard < 1000; ++guard) {
        WalkedEntry e{};
        Bytes block(qm::kHeaderBlockSize, 0xEE);
        e.item.block = block.data();
        char name[256];
        std::memset(name, 0x7F, sizeof name);
        if (!qm::ReadHeaderBlock(host.S(), &e.item, name))
            break;
        e.item.block = nullptr;
        e.block = block;
        e.nameBuffer = name;
        walk.entries.push_back(e);
    }
    qm::platform::Close(host.S().carrier);
    host.S().carrier = nullptr;
    walk.status = host.GetArchiveStatus();
    return walk;
}

Bytes Data(std::size_t size)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return b;
}

class HeaderWalk : public ::testing::Test, public qmtest::OwnSession {
protected:
    Walk WalkCarrier(const std::string &path) { return ::WalkCarrier(*this, path); }
    std::string Carrier(const CarrierSpec &layout) { return dir_.Write("walk.bin", qmpack::BuildCarrier(layout)); }
    qmtest::TempDir dir_;
};

TEST_F(HeaderWalk, EveryFieldOfEveryBlock)
{
    CarrierSpec layout;
    layout.prefix = Data(50);
    layout.gap = Data(7);
    EntrySpec a = qmpack::StoredEntry("DIR\\SUB\\FIRST.DAT", Data(1000));
    a.cipherMethod = 1;
    a.unpackedSize = 5000;
    a.dosDateTime = 0x12345678;
    a.attributes = 0x21;
    a.carriedWordA = 0xA1A2A3A4;
    a.carriedWordB = 0xB1B2B3B4;
    EntrySpec b = qmpack::StoredEntry("", {});  // an empty name and no data
    EntrySpec c = qmpack::StoredEntry(std::string(255, 'L'), Data(3));
    c.unpackedSize = -7;  // taken as it stands
    c.cipherMethod = 0;
    layout.entries = {a, b, c};
    const Walk walk = WalkCarrier(Carrier(layout));
    EXPECT_EQ(walk.status, 0);
    ASSERT_EQ(walk.entries.size(), 3u);

    const int32_t first = 50 + 34 + 7;
    const int32_t positions[] = {first, first + 432 + 1000, first + 432 + 1000 + 432};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const EntrySpec &s = layout.entries[i];
        const HidFileItem &e = walk.entries[i].item;
        EXPECT_EQ(e.valid, 1);
        EXPECT_EQ(std::string(e.name), s.name);
        EXPECT_EQ(walk.entries[i].nameBuffer, s.name);
        EXPECT_EQ(e.nameLength, static_cast<int32_t>(s.name.size()));
        EXPECT_EQ(e.packedSize, static_cast<int32_t>(s.stored.size()));
        EXPECT_EQ(e.unpackedSize, s.unpackedSize);
        EXPECT_EQ(e.dosDateTime, s.dosDateTime);
        EXPECT_EQ(e.attributes, s.attributes);
        EXPECT_EQ(e.cipherMethod, s.cipherMethod);
        EXPECT_EQ(e.enciphered, s.cipherMethod == -1 ? 0 : 1);
        EXPECT_EQ(e.carriedWordA, s.carriedWordA);
        EXPECT_EQ(e.carriedWordB, s.carriedWordB);
        EXPECT_EQ(e.dataCrc, s.dataCrc);
        EXPECT_EQ(e.headerPos, positions[i]);
        EXPECT_EQ(e.headerSize, 432);
        EXPECT_EQ(e.magic, 77u);
        const auto built = qmpack::BuildHeaderBlock(s);
        EXPECT_EQ(walk.entries[i].block, Bytes(built.begin(), built.end()));
        // Fields no block sets stay as the caller cleared them.
        EXPECT_EQ(e.reserved1[0] | e.reserved1[1] | e.reserved2 | e.reserved3, 0u);
        EXPECT_EQ(e.next, nullptr);
    }
}

TEST_F(HeaderWalk, TheWalkEndsWithoutStatusWhereTheFileEnds)
{
    struct Case {
        const char *what;
        Bytes trailer;
        std::size_t dataSize;
    };
    const Case cases[] = {
        {"one entry of packed size 0", {}, 0},
        {"a stored entry", {}, 99},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CarrierSpec layout;
        layout.entries.push_back(qmpack::StoredEntry("ONLY", Data(c.dataSize)));
        layout.trailer = c.trailer;
        SetArchiveStatus(0);
        const Walk walk = WalkCarrier(Carrier(layout));
        EXPECT_EQ(walk.status, 0);
        ASSERT_EQ(walk.entries.size(), 1u);
        EXPECT_EQ(S().archive.WalkPos, static_cast<int32_t>(34 + 432 + c.dataSize));
    }
}

TEST_F(HeaderWalk, APartOfABlockBehindTheLastEntryIsDamage)
{
    // An archive cut inside a header block: the entries before it stay.
    for (const std::size_t stray : {std::size_t{1}, std::size_t{431}}) {
        SCOPED_TRACE(stray);
        CarrierSpec layout;
        layout.entries.push_back(qmpack::StoredEntry("ONLY", Data(5)));
        layout.trailer = Data(stray);
        SetArchiveStatus(0);
        const Walk walk = WalkCarrier(Carrier(layout));
        EXPECT_EQ(walk.status, QM_STATUS_BAD_HEADER);
        ASSERT_EQ(walk.entries.size(), 1u);
    }
}

TEST_F(HeaderWalk, ADamagedBlockEndsTheWalkAndKeepsWhatCameBefore)
{
    struct Case {
        const char *what;
        void (*damage)(EntrySpec &);
    };
    const Case cases[] = {
        {"wrong magic", [](EntrySpec &e) { e.magic = 78; }},
        {"wrong header CRC", [](EntrySpec &e) { e.headerCrc = 0xDEADBEEF; }},
        {"name field without a NUL", [](EntrySpec &e) { e.nameWithoutNul = true; }},
        {"name of 256 characters", [](EntrySpec &e) { e.name = std::string(256, 'N'); }},
        {"packed size -1", [](EntrySpec &e) { e.packedSize = -1; }},
        {"packed size -432, back onto itself", [](EntrySpec &e) { e.packedSize = -432; }},
        {"packed size -866, back onto block 1", [](EntrySpec &e) { e.packedSize = -866; }},
        {"lowest packed size", [](EntrySpec &e) { e.packedSize = std::numeric_limits<int32_t>::min(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CarrierSpec layout;
        layout.entries.push_back(qmpack::StoredEntry("GOOD.1", Data(2)));
        layout.entries.push_back(qmpack::StoredEntry("BAD.2", Data(3)));
        layout.entries.push_back(qmpack::StoredEntry("NEVER.3", Data(4)));
        c.damage(layout.entries[1]);
        SetArchiveStatus(0);
        const Walk walk = WalkCarrier(Carrier(layout));
        EXPECT_EQ(walk.status, QM_STATUS_BAD_HEADER);
        ASSERT_EQ(walk.entries.size(), 1u);
        EXPECT_STREQ(walk.entries[0].item.name, "GOOD.1");
    }
}

TEST_F(HeaderWalk, AFirstBlockWithAWrongMagicEndsTheWalkAtOnce)
{
    // The open finds block 1 by its CRC alone; the walk then refuses it.
    CarrierSpec layout;
    layout.entries.push_back(qmpack::StoredEntry("ONE", Data(2)));
    layout.entries[0].magic = 0;
    const Walk walk = WalkCarrier(Carrier(layout));
    EXPECT_EQ(walk.status, QM_STATUS_BAD_HEADER);
    EXPECT_TRUE(walk.entries.empty());
}

TEST_F(HeaderWalk, ANextPositionBeyondTheSigned32BitRangeEndsTheWalk)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        int32_t packed;
        int32_t walkPosAfter;
    };
    // Block 1 lies at 34: the next position is 34 + 432 + packed.
    const Case cases[] = {
        {kMax - 466, kMax},              // the largest position still held
        {kMax - 465, qm::kWalkEnded},    // one more would pass 2^31 - 1
        {kMax, qm::kWalkEnded},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.packed);
        CarrierSpec layout;
        layout.entries.push_back(qmpack::StoredEntry("HUGE", Data(10)));
        layout.entries[0].packedSize = c.packed;
        layout.entries.push_back(qmpack::StoredEntry("UNREACHED", Data(10)));
        SetArchiveStatus(0);
        const Walk walk = WalkCarrier(Carrier(layout));
        EXPECT_EQ(walk.status, 0);
        ASSERT_EQ(walk.entries.size(), 1u);
        EXPECT_EQ(walk.entries[0].item.packedSize, c.packed);
        EXPECT_EQ(S().archive.WalkPos, c.walkPosAfter);
    }
}

TEST_F(HeaderWalk, RealCarrierFromTheCorpus)
{
    // Names, sizes, CRCs, times and attributes from real-lz.json.
    const Walk walk = WalkCarrier(qmtest::CorpusFile("real-lz.qm"));
    EXPECT_EQ(walk.status, 0);
    ASSERT_EQ(walk.entries.size(), 2u);
    const HidFileItem &a = walk.entries[0].item;
    EXPECT_STREQ(a.name, "SOUND\\BOAT.WAV");
    EXPECT_EQ(a.packedSize, 42551);
    EXPECT_EQ(a.unpackedSize, 56464);
    EXPECT_EQ(a.dataCrc, 0x82d2ed89u);
    EXPECT_EQ(a.dosDateTime, 0x546a584au);
    EXPECT_EQ(a.attributes, 0x20u);
    EXPECT_EQ(a.headerPos, 3134);
    const HidFileItem &b = walk.entries[1].item;
    EXPECT_STREQ(b.name, "LICENSE.txt");
    EXPECT_EQ(b.packedSize, 107);
    EXPECT_EQ(b.unpackedSize, 107);
    EXPECT_EQ(b.dataCrc, 0x8eaf20c4u);
    EXPECT_EQ(b.dosDateTime, 0x546a58a5u);
    EXPECT_EQ(b.attributes, 0x20u);
    EXPECT_EQ(b.headerPos, 3134 + 432 + 42551);
}

}  // namespace
