// Entry lists: what BuildHidFileList and BuildArcFileList list, how masks
// select, and every way a build fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "state/status.h"
#include "container/lists.h"
#include "container/session.h"
#include "container/statistics.h"
#include "quillmark.h"
#include "support/own_session.h"
#include "support/temp_dir.h"

namespace {

using qmpack::Bytes;
using qmpack::CarrierSpec;
using qmpack::EntrySpec;

Bytes Data(std::size_t size)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(i * 13 + 1);
    return b;
}

// A mask list that frees itself.
class Masks {
public:
    explicit Masks(std::initializer_list<const char *> masks)
    {
        InitFileMaskList(&list_);
        for (const char *m : masks)
            EXPECT_EQ(AppendFileMask(m, &list_), 1) << m;
    }
    ~Masks() { DoneFileMaskList(&list_); }
    Masks(const Masks &) = delete;
    Masks &operator=(const Masks &) = delete;
    const FileMaskList *get() const { return &list_; }

private:
    FileMaskList list_{};
};

std::vector<std::string> Names(const ArcFileList &list)
{
    std::vector<std::string> names;
    for (const ArcFileItem *i = list.first; i; i = i->next)
        names.push_back(i->name);
    return names;
}

std::vector<std::string> Names(const HidFileList &list)
{
    std::vector<std::string> names;
    for (const HidFileItem *i = list.first; i; i = i->next)
        names.push_back(i->name);
    return names;
}

// Fails every allocation after the first `allow` ones.
int gAllocationsLeft = 0;
void *FailingAlloc(std::size_t size) { return gAllocationsLeft-- > 0 ? std::malloc(size) : nullptr; }

class Lists : public ::testing::Test, public qmtest::OwnSession {
protected:
    void SetUp() override
    {
        InitArcFileList(&arc_);
        InitHidFileList(&hid_);
    }
    void TearDown() override
    {
        DoneArcFileList(&arc_);
        DoneHidFileList(&hid_);
    }
    void Open(const CarrierSpec &layout)
    {
        InitArcFile(dir_.Write("list.bin", qmpack::BuildCarrier(layout)).c_str());
        ASSERT_EQ(GetArchiveStatus(), 0);
    }
    static CarrierSpec ThreeEntries()
    {
        CarrierSpec layout;
        layout.entries.push_back(qmpack::StoredEntry("DOCS\\READ.ME", Data(10)));
        layout.entries.push_back(qmpack::StoredEntry("pics/cat.gif", Data(20)));
        layout.entries.push_back(qmpack::StoredEntry("TOP.TXT", Data(30)));
        return layout;
    }
    qmtest::TempDir dir_;
    ArcFileList arc_{};
    HidFileList hid_{};
};

TEST_F(Lists, RealCarrierListsItsEntriesAsTheManifestSays)
{
    // Values from real-lz.json.
    InitArcFile(qmtest::CorpusFile("real-lz.qm").c_str());
    ASSERT_EQ(GetArchiveStatus(), 0);
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), 0);
    ASSERT_EQ(arc_.count, 2);
    const ArcFileItem &a = *arc_.first;
    const ArcFileItem &b = *a.next;
    EXPECT_EQ(arc_.last, &b);
    EXPECT_EQ(b.next, nullptr);
    EXPECT_STREQ(a.name, "SOUND\\BOAT.WAV");
    EXPECT_EQ(a.packedSize, 42551);
    EXPECT_EQ(a.unpackedSize, 56464);
    EXPECT_EQ(a.dosDateTime, 0x546a584au);
    EXPECT_EQ(a.attributes, 0x20u);
    EXPECT_STREQ(b.name, "LICENSE.txt");
    EXPECT_EQ(b.packedSize, 107);
    EXPECT_EQ(b.unpackedSize, 107);
    EXPECT_EQ(b.dosDateTime, 0x546a58a5u);
    EXPECT_EQ(b.attributes, 0x20u);
    for (const ArcFileItem *i : {&a, &b}) {
        EXPECT_EQ(i->constant30, 30);
        EXPECT_EQ(i->constant21, 21);
        EXPECT_EQ(i->valid, 1);
        EXPECT_EQ(i->enciphered, 0);
        EXPECT_EQ(i->attachedSize, 0);
        EXPECT_EQ(i->attached, nullptr);
    }
    ArcExtraInfo info;
    GetExtraInfoArc(&info);
    EXPECT_EQ(info.entryCount, 2);
    EXPECT_EQ(info.totalPacked, 42551 + 107);
    EXPECT_EQ(info.totalUnpacked, 56464 + 107);
    EXPECT_EQ(info.ratio, 75);  // 4,265,800 / 56,571

    // The internal list of the same archive carries the header positions
    // and data CRCs the extraction needs.
    EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 2);
    EXPECT_EQ(hid_.first->headerPos, 3134);
    EXPECT_EQ(hid_.first->dataCrc, 0x82d2ed89u);
    EXPECT_EQ(hid_.last->headerPos, 3134 + 432 + 42551);
    EXPECT_EQ(hid_.last->dataCrc, 0x8eaf20c4u);
}

TEST_F(Lists, MasksSelectFromTheRealCarrier)
{
    struct Case {
        const char *mask;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"SOUND\\*.*", {"SOUND\\BOAT.WAV"}},
        {"*.TXT", {"LICENSE.txt"}},  // matched in upper case, listed as stored
        {"license.TXT", {"LICENSE.txt"}},
    };
    InitArcFile(qmtest::CorpusFile("real-lz.qm").c_str());
    ASSERT_EQ(GetArchiveStatus(), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask);
        Masks masks{c.mask};
        DoneArcFileList(&arc_);
        BuildArcFileList(&arc_, masks.get());
        EXPECT_EQ(GetArchiveStatus(), 0);
        EXPECT_EQ(Names(arc_), c.names);
        ArcExtraInfo info;
        GetExtraInfoArc(&info);
        EXPECT_EQ(info.entryCount, 1);
    }
}

TEST_F(Lists, EveryEntryOfTheInternalList)
{
    CarrierSpec layout = ThreeEntries();
    layout.entries[1].cipherMethod = 2;
    layout.entries[1].carriedWordA = 0xAAAA0001;
    layout.entries[1].carriedWordB = 0xBBBB0002;
    Open(layout);
    EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 3);
    EXPECT_EQ(GetArchiveStatus(), 0);
    ASSERT_EQ(Names(hid_), (std::vector<std::string>{"DOCS\\READ.ME", "pics/cat.gif", "TOP.TXT"}));
    int32_t pos = 34;
    std::size_t i = 0;
    for (const HidFileItem *item = hid_.first; item; item = item->next, ++i) {
        SCOPED_TRACE(i);
        const EntrySpec &s = layout.entries[i];
        EXPECT_EQ(item->headerPos, pos);
        EXPECT_EQ(item->packedSize, static_cast<int32_t>(s.stored.size()));
        EXPECT_EQ(item->cipherMethod, s.cipherMethod);
        EXPECT_EQ(item->enciphered, s.cipherMethod == -1 ? 0 : 1);
        EXPECT_EQ(item->carriedWordA, s.carriedWordA);
        EXPECT_EQ(item->carriedWordB, s.carriedWordB);
        EXPECT_EQ(item->nameLength, static_cast<int32_t>(s.name.size()));
        const auto built = qmpack::BuildHeaderBlock(s);
        ASSERT_NE(item->block, nullptr);
        EXPECT_EQ(std::memcmp(item->block, built.data(), built.size()), 0);
        pos += 432 + item->packedSize;
    }
    EXPECT_EQ(hid_.last, hid_.first->next->next);

    // A new build starts from an empty head (the host freed the old list).
    DoneHidFileList(&hid_);
    EXPECT_EQ(hid_.count, 0);
    EXPECT_EQ(hid_.first, nullptr);
    Masks masks{"PICS\\C?T.GIF"};
    EXPECT_EQ(BuildHidFileList(&hid_, masks.get()), 1);
    EXPECT_EQ(Names(hid_), std::vector<std::string>{"pics/cat.gif"});
}

TEST_F(Lists, NamesAreConvertedToAnsiBeforeTheyAreMatched)
{
    // 0x81 is u-umlaut in code page 437 and 0xFC in Windows-1252; the mask is
    // written in 1252 capitals (0xDC), so it matches only the converted name.
    CarrierSpec layout;
    layout.entries.push_back(qmpack::StoredEntry("\x81" "ber.txt", Data(5)));
    layout.entries.push_back(qmpack::StoredEntry("\x9A" "BER.TXT", Data(5)));  // U-umlaut in 437
    layout.entries.push_back(qmpack::StoredEntry("\xFC" "ber.txt", Data(5)));  // superscript n in 437
    Open(layout);
    Masks masks{"\xDC" "BER.TXT"};
    BuildArcFileList(&arc_, masks.get());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(Names(arc_), (std::vector<std::string>{"\xFC" "ber.txt", "\xDC" "BER.TXT"}));
}

TEST_F(Lists, BuildsThatFindNothing)
{
    struct Case {
        const char *what;
        void (*damage)(CarrierSpec &);
        const char *mask;
    };
    const Case cases[] = {
        {"no entry matches", [](CarrierSpec &) {}, "*.EXE"},
        {"the first block has a wrong magic", [](CarrierSpec &s) { s.entries[0].magic = 7; }, nullptr},
        {"the first block has a negative packed size",
         [](CarrierSpec &s) { s.entries[0].packedSize = -1; }, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CarrierSpec layout = ThreeEntries();
        c.damage(layout);
        Open(layout);
        Masks masks = c.mask ? Masks{c.mask} : Masks{};
        EXPECT_EQ(BuildHidFileList(&hid_, masks.get()), 0);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_EMPTY_LIST);
        EXPECT_EQ(hid_.count, 0);
        EXPECT_EQ(hid_.first, nullptr);
        EXPECT_EQ(hid_.last, nullptr);

        // The public build adds nothing, and a second one adds nothing either
        // until the host clears the status.
        SetArchiveStatus(0);
        BuildArcFileList(&arc_, masks.get());
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_EMPTY_LIST);
        BuildArcFileList(&arc_, masks.get());
        EXPECT_EQ(arc_.count, 0);
        EXPECT_EQ(arc_.first, nullptr);
    }
}

TEST_F(Lists, ADamagedBlockKeepsTheEntriesBeforeIt)
{
    CarrierSpec layout = ThreeEntries();
    layout.entries[2].headerCrc = 0x0BADC0DE;
    Open(layout);
    EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 2);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_HEADER);
    EXPECT_EQ(Names(hid_), (std::vector<std::string>{"DOCS\\READ.ME", "pics/cat.gif"}));

    // The public build lists nothing then and leaves the statistics alone.
    S().statistics.entryCount = 77;
    SetArchiveStatus(0);
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_HEADER);
    EXPECT_EQ(arc_.count, 0);
    EXPECT_EQ(S().statistics.entryCount, 77);
}

TEST_F(Lists, AStatusLeftOverBlocksThePublicBuild)
{
    Open(ThreeEntries());
    S().statistics.entryCount = 77;
    SetArchiveStatus(QM_STATUS_CRC_MISMATCH);
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_CRC_MISMATCH);
    EXPECT_EQ(arc_.count, 0);
    EXPECT_EQ(S().statistics.entryCount, 77);

    // The internal build neither looks at it nor clears it.
    EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 3);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_CRC_MISMATCH);

    SetArchiveStatus(0);
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(arc_.count, 3);
    EXPECT_EQ(S().statistics.entryCount, 3);
}

TEST_F(Lists, NoSessionToWalk)
{
    struct Case {
        const char *what;
        void (*setup)(qmtest::OwnSession &host, const std::string &carrier, const std::string &junk);
    };
    const Case cases[] = {
        {"after DoneArcFile", [](qmtest::OwnSession &host, const std::string &carrier, const std::string &) {
             host.InitArcFile(carrier.c_str());
             host.DoneArcFile(0);
         }},
        {"after a failed open", [](qmtest::OwnSession &host, const std::string &, const std::string &junk) {
             host.InitArcFile(junk.c_str());  // 9999: the path is kept, no positions
         }},
        {"the carrier is gone", [](qmtest::OwnSession &host, const std::string &carrier, const std::string &) {
             host.InitArcFile(carrier.c_str());
             std::remove(carrier.c_str());
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string carrier = dir_.Write("list.bin", qmpack::BuildCarrier(ThreeEntries()));
        const std::string junk = dir_.Write("junk.bin", Data(1000));
        c.setup(*this, carrier, junk);
        SetArchiveStatus(0);
        EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 0);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_CANNOT_OPEN);
        EXPECT_EQ(hid_.first, nullptr);
        SetArchiveStatus(0);
        BuildArcFileList(&arc_, nullptr);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_CANNOT_OPEN);
        EXPECT_EQ(arc_.first, nullptr);
        EXPECT_EQ(S().carrier, nullptr);
    }
}

TEST_F(Lists, OutOfMemoryKeepsWhatWasLinked)
{
    Open(ThreeEntries());
    // Each internal entry takes two blocks (record and block copy).
    struct Case {
        int allow;
        int32_t linked;
    };
    const Case hidCases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {5, 2}};
    for (const Case &c : hidCases) {
        SCOPED_TRACE("internal, allocations allowed " + std::to_string(c.allow));
        gAllocationsLeft = c.allow;
        S().listAlloc = FailingAlloc;
        SetArchiveStatus(0);
        EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 0);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_OUT_OF_MEMORY);
        EXPECT_EQ(hid_.count, c.linked);
        EXPECT_EQ(S().carrier, nullptr);
        S().listAlloc = std::malloc;
        DoneHidFileList(&hid_);  // frees what was linked (the leak checker watches)
    }

    // The public build needs the six blocks of the internal list first.
    const Case arcCases[] = {{6, 0}, {7, 1}, {8, 2}};
    for (const Case &c : arcCases) {
        SCOPED_TRACE("public, allocations allowed " + std::to_string(c.allow));
        gAllocationsLeft = c.allow;
        S().listAlloc = FailingAlloc;
        SetArchiveStatus(0);
        S().statistics.entryCount = 77;
        BuildArcFileList(&arc_, nullptr);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_OUT_OF_MEMORY);
        EXPECT_EQ(arc_.count, c.linked);
        EXPECT_EQ(S().statistics.entryCount, 77);
        S().listAlloc = std::malloc;
        DoneArcFileList(&arc_);
    }
}

TEST_F(Lists, ReleasingAPublicListFreesAttachedBuffers)
{
    Open(ThreeEntries());
    BuildArcFileList(&arc_, nullptr);
    ASSERT_EQ(arc_.count, 3);
    arc_.first->attachedSize = 16;
    arc_.first->attached = std::malloc(16);
    arc_.last->attachedSize = 0;  // a size of 0 frees nothing; the pointer stays null
    DoneArcFileList(&arc_);
    EXPECT_EQ(arc_.count, 0);
    EXPECT_EQ(arc_.first, nullptr);
    EXPECT_EQ(arc_.last, nullptr);
}

TEST_F(Lists, NullHeadsAndBuffersAreIgnored)
{
    Open(ThreeEntries());
    InitArcFileList(nullptr);
    InitHidFileList(nullptr);
    EXPECT_EQ(BuildHidFileList(nullptr, nullptr), 0);
    BuildArcFileList(nullptr, nullptr);
    DoneArcFileList(nullptr);
    DoneHidFileList(nullptr);
    GetExtraInfoArc(nullptr);
    EXPECT_EQ(GetArchiveStatus(), 0);
}

}  // namespace
