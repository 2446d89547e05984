// Damage in the header blocks is never silent: an archive cut inside a block,
// a flipped byte in the first or in a later block, with plain and with
// enciphered header blocks, through the exports.  Each case says what the
// open, the list build and the extraction report, and which entries are
// listed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "crypto/des.h"
#include "extract_test_support.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using qmpack::Bytes;

namespace {

constexpr const char *kHeaderPassword = "head pw";

Bytes Data(std::size_t size, std::uint8_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 11 + (i >> 7));
    return b;
}

// Header blocks enciphered as the format has it: single DES, block by block,
// under the MD5 digest of the header password (the library's own DES run
// forwards; it is checked against OpenSSL elsewhere).
void EncipherHeader(std::uint8_t *block)
{
    std::uint8_t digest[16];
    qm::PasswordDigest(kHeaderPassword, digest);
    qm::DesSchedule k;
    qm::BuildDesSchedule(digest, qm::DesDirection::Encrypt, k);
    qm::DesBlocks(block, qmpack::kHeaderBlockSize / 8, k);
}

struct Archive {
    Bytes bytes;
    std::vector<std::size_t> blocks;  // where each header block starts
};

// Three stored entries behind the signature record, with a gap of zero
// bytes before the first (plain headers only).
Archive ThreeEntries(bool encipheredHeaders, std::size_t gap = 0)
{
    qmpack::CarrierSpec layout;
    layout.gap = Bytes(gap, 0);
    layout.entries = {qmpack::StoredEntry("ONE.TXT", Data(300, 1)),
                      qmpack::StoredEntry("TWO.TXT", Data(40, 2)),
                      qmpack::StoredEntry("THREE.TXT", Data(500, 3))};
    if (encipheredHeaders) {
        layout.flags = 1;
        layout.encipherHeader = EncipherHeader;
    }
    Archive a{qmpack::BuildCarrier(layout), {}};
    std::size_t at = qmpack::kSignatureRecordSize + gap;
    for (const auto &e : layout.entries) {
        a.blocks.push_back(at);
        at += qmpack::kHeaderBlockSize + e.stored.size();
    }
    return a;
}

struct Outcome {
    std::uint16_t open = 0;
    std::uint16_t list = 0;
    std::vector<std::string> names = {};
    std::uint16_t extract = 0;
    std::vector<std::string> extracted = {};
};

class ArchiveDamage : public ::testing::Test {
protected:
    void TearDown() override
    {
        DoneArcFile(0);
        SetOutputPath("");
        SetArchiveStatus(0);
    }

    // Opens the bytes (with the header password when enciphered), lists
    // every entry and extracts every entry into a fresh folder.
    Outcome Run(const Bytes &bytes, bool encipheredHeaders)
    {
        Outcome o;
        const std::string path = dir_.Write("damaged.qm", bytes);
        ArcOpenParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.dataPassword, "pw");
        if (encipheredHeaders)
            std::strcpy(params.headerPassword, kHeaderPassword);
        SetArchiveStatus(0);
        InitHidFile(path.c_str(), &params);
        o.open = GetArchiveStatus();
        if (o.open != 0)
            return o;

        HidFileList list;
        InitHidFileList(&list);
        BuildHidFileList(&list, nullptr);
        o.list = GetArchiveStatus();
        for (const HidFileItem *e = list.first; e; e = e->next)
            o.names.emplace_back(e->name);
        DoneHidFileList(&list);

        const fs::path out = dir_.path() / ("out" + std::to_string(++runs_));
        fs::create_directory(out);
        SetOutputPath(qmtest::LibPath(out).c_str());
        SetArchiveStatus(0);
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        o.extract = GetArchiveStatus();
        DoneFileMaskList(&masks);
        for (const auto &e : fs::directory_iterator(out))
            o.extracted.push_back(e.path().filename().string());
        std::sort(o.extracted.begin(), o.extracted.end());
        return o;
    }

    qmtest::TempDir dir_;
    int runs_ = 0;
};

using Names = std::vector<std::string>;
const Names kAll = {"ONE.TXT", "TWO.TXT", "THREE.TXT"};
const Names kAllSorted = {"ONE.TXT", "THREE.TXT", "TWO.TXT"};

TEST_F(ArchiveDamage, ACutArchiveIsDamagedUnlessItEndsOnABlockBoundary)
{
    for (const bool enciphered : {false, true}) {
        const Archive a = ThreeEntries(enciphered);
        const std::size_t b2 = a.blocks[1], b3 = a.blocks[2];
        struct Case {
            const char *what;
            std::size_t length;
            Outcome expected;
        };
        const Case cases[] = {
            // Inside block 1: no archive can be opened at all.
            {"1 byte of block 1", a.blocks[0] + 1, {QM_STATUS_BAD_PASSWORD}},
            {"431 bytes of block 1", a.blocks[0] + 431, {QM_STATUS_BAD_PASSWORD}},
            // One byte short of block 2: entry 1's data is short, which its
            // CRC shows when it is extracted.
            {"block 2 minus 1", b2 - 1, {0, 0, {"ONE.TXT"}, QM_STATUS_CRC_MISMATCH, {}}},
            // Exactly on a boundary: an archive of fewer entries, as far as
            // any reader can tell.
            {"block 2", b2, {0, 0, {"ONE.TXT"}, 0, {"ONE.TXT"}}},
            {"block 2 plus 1", b2 + 1, {0, QM_STATUS_BAD_HEADER, {"ONE.TXT"}, QM_STATUS_BAD_HEADER, {}}},
            {"block 2 plus 431", b2 + 431, {0, QM_STATUS_BAD_HEADER, {"ONE.TXT"}, QM_STATUS_BAD_HEADER, {}}},
            {"block 3 minus 1", b3 - 1, {0, 0, {"ONE.TXT", "TWO.TXT"}, QM_STATUS_CRC_MISMATCH, {"ONE.TXT"}}},
            {"block 3", b3, {0, 0, {"ONE.TXT", "TWO.TXT"}, 0, {"ONE.TXT", "TWO.TXT"}}},
            {"block 3 plus 1", b3 + 1,
             {0, QM_STATUS_BAD_HEADER, {"ONE.TXT", "TWO.TXT"}, QM_STATUS_BAD_HEADER, {}}},
            {"block 3 plus 300", b3 + 300,
             {0, QM_STATUS_BAD_HEADER, {"ONE.TXT", "TWO.TXT"}, QM_STATUS_BAD_HEADER, {}}},
            {"the whole archive", a.bytes.size(), {0, 0, kAll, 0, kAllSorted}},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (enciphered ? ", enciphered headers" : ", plain headers"));
            const Outcome o = Run(Bytes(a.bytes.begin(), a.bytes.begin() + static_cast<long>(c.length)),
                                  enciphered);
            EXPECT_EQ(o.open, c.expected.open);
            EXPECT_EQ(o.list, c.expected.list);
            EXPECT_EQ(o.names, c.expected.names);
            EXPECT_EQ(o.extract, c.expected.extract);
            EXPECT_EQ(o.extracted, c.expected.extracted);
        }
    }
}

// Offsets of the header block's fields that its CRC covers.
struct Field {
    const char *name;
    std::size_t offset;
};
const Field kFields[] = {
    {"header CRC", 4}, {"magic", 8},        {"unread bytes", 40},   {"name", 76},
    {"data CRC", 344}, {"packed size", 348}, {"unpacked size", 352}, {"date and time", 356},
    {"attributes", 360}, {"tail", 431},
};

TEST_F(ArchiveDamage, AFlipInTheFirstBlockIsReportedAndTheRestStillRead)
{
    for (const std::size_t gap : {std::size_t{0}, std::size_t{100}}) {
        const Archive a = ThreeEntries(false, gap);
        for (const Field &f : kFields) {
            SCOPED_TRACE(std::string(f.name) + ", gap " + std::to_string(gap));
            Bytes bytes = a.bytes;
            bytes[a.blocks[0] + f.offset] ^= 0x10;
            const Outcome o = Run(bytes, false);
            EXPECT_EQ(o.open, 0);
            // Entry 1 is lost; the list and the extraction say so, and the
            // entries behind it are still listed and extracted.  Behind a
            // gap, a flipped packed size cannot be told from the gap.
            const std::uint16_t reported =
                gap > 0 && f.offset == 348 ? 0 : QM_STATUS_BAD_HEADER;
            EXPECT_EQ(o.list, reported);
            EXPECT_EQ(o.names, (Names{"TWO.TXT", "THREE.TXT"}));
            EXPECT_EQ(o.extract, reported);
            EXPECT_EQ(o.extracted, (Names{"THREE.TXT", "TWO.TXT"}));
        }
    }
}

TEST_F(ArchiveDamage, AFlipInALaterBlockEndsTheWalkWithStatus)
{
    for (const bool enciphered : {false, true}) {
        const Archive a = ThreeEntries(enciphered);
        for (const Field &f : kFields) {
            SCOPED_TRACE(std::string(f.name) + (enciphered ? ", enciphered headers" : ", plain headers"));
            Bytes bytes = a.bytes;
            bytes[a.blocks[1] + f.offset] ^= 0x10;
            const Outcome o = Run(bytes, enciphered);
            EXPECT_EQ(o.open, 0);
            EXPECT_EQ(o.list, QM_STATUS_BAD_HEADER);
            EXPECT_EQ(o.names, Names{"ONE.TXT"});
            EXPECT_EQ(o.extract, QM_STATUS_BAD_HEADER);
            EXPECT_TRUE(o.extracted.empty());
        }
    }
}

TEST_F(ArchiveDamage, AGapBehindTheSignatureRecordIsNoDamage)
{
    // A gap of other bytes, or of zeros, even one that holds a 77 somewhere,
    // is passed over as before.
    for (const std::size_t gapSize : {std::size_t{1}, std::size_t{100}, std::size_t{432}, std::size_t{1000}}) {
        for (const bool zeros : {false, true}) {
            SCOPED_TRACE(std::to_string(gapSize) + (zeros ? " zeros" : " bytes"));
            qmpack::CarrierSpec layout;
            layout.gap = zeros ? Bytes(gapSize, 0) : Data(gapSize, 9);
            if (gapSize > 20)
                layout.gap[20] = 77;
            layout.entries = {qmpack::StoredEntry("ONE.TXT", Data(30, 1))};
            const Outcome o = Run(qmpack::BuildCarrier(layout), false);
            EXPECT_EQ(o.open, 0);
            EXPECT_EQ(o.list, 0);
            EXPECT_EQ(o.names, Names{"ONE.TXT"});
            EXPECT_EQ(o.extract, 0);
        }
    }
}

}  // namespace
