// Archive statistics: the record GetExtraInfoArc copies out, its totals over
// the whole public list, and the compression ratio with its halving.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "state/status.h"
#include "container/session.h"
#include "container/statistics.h"
#include "quillmark.h"
#include "support/own_session.h"
#include "support/temp_dir.h"

namespace {

using qmpack::CarrierSpec;

struct Sizes {
    int32_t packed;
    int32_t unpacked;
};

class Statistics : public ::testing::Test, public qmtest::OwnSession {
protected:
    void SetUp() override { InitArcFileList(&list_); }
    void TearDown() override { DoneArcFileList(&list_); }
    // Opens a carrier whose entries claim the given sizes.  Only the last
    // entry may claim more packed bytes than it stores: the walk ends there.
    void Open(const std::vector<Sizes> &entries)
    {
        CarrierSpec layout;
        for (const Sizes &s : entries) {
            qmpack::EntrySpec e = qmpack::StoredEntry("E", {});
            if (&s == &entries.back())
                e.packedSize = s.packed;
            else
                e.stored.assign(static_cast<std::size_t>(s.packed), 0x11);
            e.unpackedSize = s.unpacked;
            layout.entries.push_back(e);
        }
        InitArcFile(dir_.Write("stats.bin", qmpack::BuildCarrier(layout)).c_str());
        ASSERT_EQ(GetArchiveStatus(), 0);
    }
    ArcExtraInfo Info()
    {
        ArcExtraInfo info;
        std::memset(&info, 0xFF, sizeof info);
        GetExtraInfoArc(&info);
        return info;
    }
    qmtest::TempDir dir_;
    ArcFileList list_{};
};

TEST(CompressionRatio, HalvingAndTruncation)
{
    struct Case {
        int64_t packed, unpacked;
        int32_t ratio;
    };
    const Case cases[] = {
        {50'000'000, 200'000'000, 25},  // halved twice to 12,500,000 / 50,000,000
        {41'943'040, 1, 0},             // the unpacked total halves to 0
        {0, 0, 0},
        {1, 3, 33},
        {2, 3, 66},                     // truncated, not rounded
        {20'971'519, 20'971'519, 100},  // just below the halving bound
        {20'971'520, 20'971'521, 100},  // halved once: 10,485,760 / 10,485,760
        {300, 100, 300},
        {-5, 10, -50},                  // toward zero
        {5, -10, -50},
        {4'294'967'294, 3, 0},                  // the unpacked total halves to 0 first
        {4'294'967'294, 8'589'934'588, 49},     // halved 8 times: 16,777,215 / 33,554,431
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.packed) + " / " + std::to_string(c.unpacked));
        EXPECT_EQ(qm::CompressionRatio(c.packed, c.unpacked), c.ratio);
    }
}

TEST_F(Statistics, ZeroAfterOpeningBeforeAnyBuild)
{
    S().statistics.constant20 = 20;
    S().statistics.ratio = 9;
    Open({{5, 5}});
    const ArcExtraInfo info = Info();
    const ArcExtraInfo zero{};
    EXPECT_EQ(std::memcmp(&info, &zero, sizeof zero), 0);
}

TEST_F(Statistics, ConstantsCountTotalsAndRatioOfABuild)
{
    Open({{100, 400}, {0, 0}, {50, 200}});
    BuildArcFileList(&list_, nullptr);
    ASSERT_EQ(GetArchiveStatus(), 0);
    const ArcExtraInfo info = Info();
    EXPECT_EQ(info.constant20, 20);
    EXPECT_EQ(info.constant3, 3);
    EXPECT_EQ(info.constant2, 2);
    EXPECT_EQ(info.constant256, 256);
    EXPECT_EQ(info.entryCount, 3);
    EXPECT_EQ(info.totalPacked, 150);
    EXPECT_EQ(info.totalUnpacked, 600);
    EXPECT_EQ(info.ratio, 25);
    for (uint32_t w : info.reserved1)
        EXPECT_EQ(w, 0u);
    for (uint32_t w : info.reserved2)
        EXPECT_EQ(w, 0u);
}

TEST_F(Statistics, RatioCasesThroughAWholeBuild)
{
    struct Case {
        std::vector<Sizes> entries;
        int64_t packed, unpacked;
        int32_t ratio;
    };
    const Case cases[] = {
        {{{50'000'000, 200'000'000}}, 50'000'000, 200'000'000, 25},
        {{{41'943'040, 1}}, 41'943'040, 1, 0},
        {{{0, 0}, {0, 0}}, 0, 0, 0},
        // An unpacked size of 0x80000000 or more is negative, in the record
        // and in the totals.
        {{{10, std::numeric_limits<int32_t>::min()}, {10, 20}}, 20,
         int64_t{std::numeric_limits<int32_t>::min()} + 20, 0},
        {{{10, -100}}, 10, -100, -10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.packed);
        DoneArcFileList(&list_);
        Open(c.entries);
        BuildArcFileList(&list_, nullptr);
        ASSERT_EQ(GetArchiveStatus(), 0);
        const ArcExtraInfo info = Info();
        EXPECT_EQ(info.entryCount, static_cast<int32_t>(c.entries.size()));
        EXPECT_EQ(info.totalPacked, c.packed);
        EXPECT_EQ(info.totalUnpacked, c.unpacked);
        EXPECT_EQ(info.ratio, c.ratio);
        EXPECT_EQ(list_.first->unpackedSize, int64_t{c.entries[0].unpacked});
    }
}

TEST_F(Statistics, ASecondBuildOnTheSameHeadCountsTwice)
{
    Open({{100, 400}, {50, 200}});
    BuildArcFileList(&list_, nullptr);
    BuildArcFileList(&list_, nullptr);
    ASSERT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(list_.count, 4);
    const ArcExtraInfo info = Info();
    EXPECT_EQ(info.entryCount, 4);
    EXPECT_EQ(info.totalPacked, 300);
    EXPECT_EQ(info.totalUnpacked, 1200);
    EXPECT_EQ(info.ratio, 25);
}

TEST_F(Statistics, OnlyInitArcFileClearsThem)
{
    Open({{100, 400}});
    const std::string path = S().archive.CarrierPath;
    BuildArcFileList(&list_, nullptr);
    ASSERT_EQ(Info().entryCount, 1);
    // A session opened the lower-level way keeps the record.
    InitHidFile(path.c_str(), nullptr);
    ASSERT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(Info().entryCount, 1);
    InitArcFile(path.c_str());
    EXPECT_EQ(Info().entryCount, 0);
}

}  // namespace
