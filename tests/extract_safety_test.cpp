// What an extraction may never do to the disk, through the exports: lose the
// file an entry would replace when the entry fails, write through a link, or
// write onto the carrier it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "extract_test_support.h"
#include "packer/carrier_writer.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using qmpack::Bytes;
using qmtest::LibPath;

namespace {

const Bytes kOld = {'p', 'r', 'e', 'c', 'i', 'o', 'u', 's', '\n'};

Bytes Data(std::size_t size, std::uint8_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 9));
    return b;
}

std::int32_t QM_CALL Replace(QmUserValue, WIN32_FIND_DATAA *, WIN32_FIND_DATAA *) { return 0; }
std::int32_t QM_CALL GiveUp(QmUserValue, char *, const char *, std::int32_t) { return 0; }
// Stops in the middle of an entry: small entries end in one step at 100 %.
std::int32_t QM_CALL StopHalfway(QmUserValue, std::int32_t percent, std::int32_t)
{
    return percent < 100 ? 0 : 1;
}


class ExtractSafety : public ::testing::Test {
protected:
    void SetUp() override
    {
        out_ = dir_.path() / "out";
        fs::create_directory(out_);
    }
    void TearDown() override
    {
        DoneArcFile(0);
        SetOutputPath("");
        arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
        SetOkToReplaceProc(0, nullptr);
        SetSetCryptKeyProc(0, nullptr);
        SetSetProgressProc(0, nullptr);
        SetArchiveStatus(0);
    }

    // Writes the carrier at `at` and opens it with a data password.
    void Open(const std::vector<qmpack::EntrySpec> &entries, const fs::path &at)
    {
        qmpack::CarrierSpec layout;
        layout.entries = entries;
        ASSERT_TRUE(qmpack::WriteFile(at.string(), qmpack::BuildCarrier(layout)));
        ArcOpenParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.dataPassword, "pw");
        InitHidFile(at.string().c_str(), &params);
        ASSERT_EQ(GetArchiveStatus(), 0);
    }
    void Open(const std::vector<qmpack::EntrySpec> &entries) { Open(entries, dir_.path() / "carrier.qm"); }

    std::uint16_t Extract(const fs::path &into)
    {
        SetOutputPath(LibPath(into).c_str());
        SetArchiveStatus(0);
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        DoneFileMaskList(&masks);
        return GetArchiveStatus();
    }

    qmtest::TempDir dir_;
    fs::path out_;
};

TEST_F(ExtractSafety, AFailedEntryLeavesTheFileItWouldReplaceAsItWas)
{
    qmpack::EntrySpec damaged = qmpack::StoredEntry("B.TXT", Data(70000, 2));
    damaged.dataCrc ^= 1;
    qmpack::EntrySpec wrongKey = qmpack::ChainingOnlyEntry("B.TXT", Data(5000, 3));
    wrongKey.dataCrc ^= 1;  // never matches, whatever the password
    struct Case {
        const char *what;
        qmpack::EntrySpec entry;
        std::function<void()> registerHost;
        std::uint16_t status;
    };
    const Case cases[] = {
        {"CRC mismatch", damaged, [] {}, QM_STATUS_CRC_MISMATCH},
        {"CRC mismatch, the host said replace", damaged, [] { SetOkToReplaceProc(0, Replace); },
         QM_STATUS_CRC_MISMATCH},
        {"wrong password, the host gives up", wrongKey, [] { SetSetCryptKeyProc(0, GiveUp); },
         QM_STATUS_BAD_PASSWORD},
        {"the host stops the run", qmpack::StoredEntry("B.TXT", Data(70000, 4)),
         [] { SetSetProgressProc(0, StopHalfway); }, QM_STATUS_STOPPED},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out_);
        fs::create_directory(out_);
        ASSERT_TRUE(qmpack::WriteFile((out_ / "B.TXT").string(), kOld));
        Open({qmpack::StoredEntry("A.TXT", Data(10, 1)), c.entry});
        c.registerHost();
        EXPECT_EQ(Extract(out_), c.status);
        EXPECT_EQ(qmpack::ReadFile((out_ / "B.TXT").string()), kOld);
        EXPECT_EQ(qmtest::SortedNames(out_), (std::vector<std::string>{"A.TXT", "B.TXT"}));  // no temporary file
        TearDown();
    }
}

TEST_F(ExtractSafety, TheCarrierBeingReadIsNeverATarget)
{
    // An entry named like the archive, extracted into the archive's folder.
    const fs::path carrier = out_ / "SELF.QM";
    Open({qmpack::StoredEntry("SELF.QM", Data(3000, 5))}, carrier);
    const Bytes before = qmpack::ReadFile(carrier.string());
    SetOkToReplaceProc(0, Replace);
    EXPECT_EQ(Extract(out_), QM_STATUS_CANNOT_OPEN);
    EXPECT_EQ(qmpack::ReadFile(carrier.string()), before);
    EXPECT_EQ(qmtest::SortedNames(out_), std::vector<std::string>{"SELF.QM"});
}

#ifndef _WIN32

TEST_F(ExtractSafety, ALinkAtTheOutputNameIsReplacedNotWrittenThrough)
{
    ASSERT_TRUE(qmpack::WriteFile((dir_.path() / "victim").string(), kOld));
    fs::create_symlink("../victim", out_ / "A.TXT");
    fs::create_symlink("../nowhere", out_ / "B.TXT");  // a link that leads nowhere yet
    const Bytes a = Data(100, 6), b = Data(200, 7);
    Open({qmpack::StoredEntry("A.TXT", a), qmpack::StoredEntry("B.TXT", b)});
    EXPECT_EQ(Extract(out_), 0);
    EXPECT_EQ(qmpack::ReadFile((dir_.path() / "victim").string()), kOld);
    EXPECT_FALSE(fs::exists(dir_.path() / "nowhere"));
    EXPECT_FALSE(fs::is_symlink(out_ / "A.TXT"));
    EXPECT_EQ(qmpack::ReadFile((out_ / "A.TXT").string()), a);
    EXPECT_EQ(qmpack::ReadFile((out_ / "B.TXT").string()), b);
}

TEST_F(ExtractSafety, AFolderLevelThatIsALinkIsRefused)
{
    // out/DIR leads outside the output folder; the entry DIR\A.TXT must not
    // land there.  The entry before it is extracted, the link is kept.
    fs::create_directory(dir_.path() / "elsewhere");
    fs::create_directory_symlink("../elsewhere", out_ / "DIR");
    Open({qmpack::StoredEntry("FIRST.TXT", Data(10, 1)), qmpack::StoredEntry(R"(DIR\A.TXT)", Data(100, 8)),
          qmpack::StoredEntry(R"(DIR\SUB\B.TXT)", Data(100, 9))});
    arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    EXPECT_EQ(Extract(out_), QM_STATUS_CANNOT_OPEN);
    EXPECT_TRUE(fs::is_empty(dir_.path() / "elsewhere"));
    EXPECT_TRUE(fs::is_symlink(out_ / "DIR"));
    EXPECT_TRUE(fs::exists(out_ / "FIRST.TXT"));
}

TEST_F(ExtractSafety, TheOutputFolderItselfMayLeadThroughALink)
{
    fs::create_directory_symlink("out", dir_.path() / "link-to-out");
    const Bytes a = Data(100, 10);
    Open({qmpack::StoredEntry(R"(DIR\A.TXT)", a)});
    arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    EXPECT_EQ(Extract(dir_.path() / "link-to-out"), 0);
    EXPECT_EQ(qmpack::ReadFile((out_ / "DIR" / "A.TXT").string()), a);
}

#endif

}  // namespace
