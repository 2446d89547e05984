// Output files: the replace question, the temporary file with its directory
// walk, the checks of the final name, the share prefix, and the finished
// file's time, rename and attributes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "state/callbacks.h"
#include "state/status.h"
#include "extract/directory_walk.h"
#include "extract/output_file.h"
#include "extract_test_support.h"
#include "platform/file_system.h"
#include "support/own_session.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using qmtest::LibPath;

namespace {

// 2022-03-10 11:02:20, local time.
constexpr std::uint32_t kDosTime = 0x546A584A;

HidFileItem Entry(const char *name, std::int32_t size, std::uint32_t attributes = 0x20)
{
    HidFileItem e;
    std::memset(&e, 0, sizeof e);
    e.valid = 1;
    std::strncpy(e.name, name, sizeof e.name - 1);
    e.packedSize = size;
    e.unpackedSize = size;
    e.dosDateTime = kDosTime;
    e.attributes = attributes;
    e.cipherMethod = -1;
    e.headerSize = 432;
    e.magic = 77;
    return e;
}

std::int64_t Ticks(const qm::platform::FileTime &t)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime);
}

std::string ReadText(const fs::path &p)
{
    const qmpack::Bytes b = qmpack::ReadFile(p.string());
    return std::string(b.begin(), b.end());
}

// Opens the output for a final name, writes text to it and finishes it as
// the entry e; false when the open or the finish fails.
bool WriteAndFinish(qm::ExportSession &session, const fs::path &target, const std::string &text,
                    const HidFileItem &e)
{
    qm::PendingOutput out;
    if (!qm::OpenOutputFile(session, LibPath(target).c_str(), &out))
        return false;
    qm::platform::Write(out.stream, text.data(), text.size());
    return qm::FinishOutputFile(session.status, &out, e, LibPath(target).c_str());
}

class OutputFiles : public ::testing::Test, public qmtest::OwnSession {
protected:
    bool WriteAndFinish(const fs::path &target, const std::string &text, const HidFileItem &e)
    {
        return ::WriteAndFinish(S(), target, text, e);
    }
    void TearDown() override
    {
        // Read-only files would outlive the temporary directory on Windows.
        std::error_code ec;
        for (const auto &e : fs::recursive_directory_iterator(dir.path(), ec))
            if (e.is_regular_file())
                qmtest::MakeReadOnly(e.path(), false);
    }
    qmtest::TempDir dir;
};

// ---- the share prefix and the directory levels --------------------------------

TEST(SplitUncPath, SplitsAtTheBackslashBehindTheShareName)
{
    struct Case {
        const char *path;
        bool unc;
        const char *share;
        const char *rest;
    };
    const Case cases[] = {
        {R"(\\srv\pub\x\f.txt)", true, R"(\\srv\pub\)", R"(x\f.txt)"},
        {R"(\\srv\pub\)", true, R"(\\srv\pub\)", ""},
        {R"(\\srv\pub)", true, R"(\\srv\pub)", ""},  // one backslash: the share runs to the end
        {R"(\\srv\pub\\x\f)", true, R"(\\srv\pub\)", R"(\x\f)"},
        {R"(\\\x\y)", true, R"(\\\x\)", "y"},  // the scan starts at the third character
        {R"(\\srv)", false, "", R"(\\srv)"},
        {R"(\srv\pub\f)", false, "", R"(\srv\pub\f)"},
        {R"(C:\out\f.txt)", false, "", R"(C:\out\f.txt)"},
        {"", false, "", ""},
    };
    for (const Case &c : cases) {
        std::string rest = "junk", share = "junk";
        EXPECT_EQ(qm::SplitUncPath(c.path, rest, share), c.unc) << c.path;
        EXPECT_EQ(share, c.share) << c.path;
        EXPECT_EQ(rest, c.rest) << c.path;
    }
}

TEST(DirectoryWalk, GivesEachLevelOnceAndNeverADriveARootOrAShare)
{
    struct Case {
        const char *path;
        std::vector<std::string> levels;
    };
    const Case cases[] = {
        {R"(C:\out\a\b\f.txt)", {R"(C:\out)", R"(C:\out\a)", R"(C:\out\a\b)"}},
        {R"(\top\sub\f.txt)", {R"(\top)", R"(\top\sub)"}},
        {R"(x\f.txt)", {"x"}},
        {"f.txt", {}},
        {R"(C:f.txt)", {}},
        {R"(C:\f.txt)", {}},
        {R"(\\srv\pub\x\y\f.txt)", {R"(\\srv\pub\x)", R"(\\srv\pub\x\y)"}},
        {R"(\\srv\pub\f.txt)", {}},
        {R"(\\srv\pub\\x\f.txt)", {R"(\\srv\pub\x)"}},  // no doubled backslash after the share
        // An empty component repeats the level with a backslash: it exists by then.
        {R"(a\\b\f)", {"a", R"(a\)", R"(a\b)"}},
    };
    for (const Case &c : cases) {
        qm::DirectoryWalk walk(c.path);
        std::vector<std::string> got;
        std::string level;
        while (walk.Next(level) && got.size() < 10)
            got.push_back(level);
        EXPECT_EQ(got, c.levels) << c.path;
    }
}

// ---- the open --------------------------------------------------------------------

TEST_F(OutputFiles, OpenMakesMissingDirectoriesOfAnAbsolutePath)
{
    fs::create_directory(dir.path() / "out");
    const fs::path target = dir.path() / "out" / "a" / "b" / "f.txt";
    S().status = 9962;
    ASSERT_TRUE(WriteAndFinish(target, "data", Entry("f.txt", 4)));
    EXPECT_EQ(S().status, 0);
    EXPECT_EQ(ReadText(target), "data");
    EXPECT_EQ(qmtest::SortedNames(dir.path() / "out" / "a" / "b"), std::vector<std::string>{"f.txt"});
}

TEST_F(OutputFiles, OpenMakesMissingDirectoriesOfARelativePath)
{
    const fs::path saved = fs::current_path();
    fs::current_path(dir.path());
    qm::PendingOutput out;
    const bool opened = qm::OpenOutputFile(S(), R"(x\y\f.txt)", &out);
    const std::uint16_t status = S().status;
    const bool finished = opened && qm::FinishOutputFile(S().status, &out, Entry("f.txt", 0), R"(x\y\f.txt)");
    fs::current_path(saved);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(finished);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fs::exists(dir.path() / "x" / "y" / "f.txt"));
}

TEST_F(OutputFiles, TheDataGoesToATemporaryFileBesideTheFinalName)
{
    dir.Write("f.txt", qmpack::Bytes{'o', 'l', 'd'});
    const fs::path target = dir.path() / "f.txt";
    qm::PendingOutput out;
    ASSERT_TRUE(qm::OpenOutputFile(S(), LibPath(target).c_str(), &out));
    qm::platform::Write(out.stream, "new", 3);
    qm::platform::Flush(out.stream);

    // While it is written the old file is whole and the new data lies in a
    // file of its own in the same folder.
    EXPECT_EQ(ReadText(target), "old");
    const std::vector<std::string> names = qmtest::SortedNames(dir.path());
    ASSERT_EQ(names.size(), 2u);
    const std::string temp = names[0] == "f.txt" ? names[1] : names[0];
    EXPECT_EQ(temp.substr(0, 3), "~qm");
    EXPECT_EQ(temp.size(), std::string("~qm12345678.tmp").size());
    EXPECT_EQ(ReadText(dir.path() / temp), "new");

    ASSERT_TRUE(qm::FinishOutputFile(S().status, &out, Entry("f.txt", 3), LibPath(target).c_str()));
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_EQ(qmtest::SortedNames(dir.path()), std::vector<std::string>{"f.txt"});
}

TEST_F(OutputFiles, ADiscardedOutputLeavesTheOldFileAndNoTrace)
{
    dir.Write("f.txt", qmpack::Bytes{'o', 'l', 'd'});
    qm::PendingOutput out;
    ASSERT_TRUE(qm::OpenOutputFile(S(), LibPath(dir.path() / "f.txt").c_str(), &out));
    qm::platform::Write(out.stream, "partial", 7);
    qm::DiscardOutputFile(&out);
    EXPECT_EQ(ReadText(dir.path() / "f.txt"), "old");
    EXPECT_EQ(qmtest::SortedNames(dir.path()), std::vector<std::string>{"f.txt"});
}

TEST_F(OutputFiles, OpenFailsWithFiveWhereTheFinalNameMayNotBeWritten)
{
    dir.Write("plain", {'p'});
    dir.Write("locked.txt", {'l'});
    qmtest::MakeReadOnly(dir.path() / "locked.txt", true);
    fs::create_directory(dir.path() / "folder");
    const fs::path cases[] = {
        dir.path() / "plain" / "sub" / "f.txt",  // a file stands where a directory is needed
        dir.path() / "locked.txt",
        dir.path() / "folder",  // a directory, not a file
    };
    for (const fs::path &p : cases) {
        S().status = 0;
        qm::PendingOutput out;
        EXPECT_FALSE(qm::OpenOutputFile(S(), LibPath(p).c_str(), &out)) << p;
        EXPECT_EQ(out.stream, nullptr) << p;
        EXPECT_EQ(S().status, QM_STATUS_CANNOT_OPEN) << p;
    }
    EXPECT_EQ(ReadText(dir.path() / "locked.txt"), "l");
    EXPECT_FALSE(fs::exists(dir.path() / "plain" / "sub"));
    EXPECT_EQ(qmtest::SortedNames(dir.path()), (std::vector<std::string>{"folder", "locked.txt", "plain"}));
}

// ---- the replace question -----------------------------------------------------------

struct ReplaceHost {
    int calls = 0;
    std::int32_t answer = 0;
    QmUserValue user = 0;
    WIN32_FIND_DATAA existing{};
    WIN32_FIND_DATAA entry{};
    bool existingReadOnlyDuringCall = false;
};
ReplaceHost g_replace;
fs::path g_replacePath;

std::int32_t QM_CALL RecordReplace(QmUserValue user, WIN32_FIND_DATAA *existing, WIN32_FIND_DATAA *entry)
{
    ++g_replace.calls;
    g_replace.user = user;
    g_replace.existing = *existing;
    g_replace.entry = *entry;
    g_replace.existingReadOnlyDuringCall = qmtest::IsReadOnly(g_replacePath);
    return g_replace.answer;
}

TEST_F(OutputFiles, NoFileMeansNoQuestion)
{
    g_replace = {};
    S().callbacks.okToReplace = {RecordReplace, 7};
    const HidFileItem e = Entry("f.txt", 3);
    EXPECT_EQ(qm::AskReplace(S().callbacks, e, LibPath(dir.path() / "f.txt").c_str()), 0);
    EXPECT_EQ(g_replace.calls, 0);
}

TEST_F(OutputFiles, NoCallbackMeansReplaceWithoutAReset)
{
    dir.Write("f.txt", {'o', 'l', 'd'});
    g_replacePath = dir.path() / "f.txt";
    qmtest::MakeReadOnly(g_replacePath, true);
    const HidFileItem e = Entry("f.txt", 3);
    EXPECT_EQ(qm::AskReplace(S().callbacks, e, LibPath(g_replacePath).c_str()), 0);
    EXPECT_TRUE(qmtest::IsReadOnly(g_replacePath));
}

TEST_F(OutputFiles, TheAnswerIsPassedOnAndOnlyZeroResetsTheAttributes)
{
    struct Case {
        std::int32_t answer;
        bool readOnlyAfter;
    };
    const Case cases[] = {{0, false}, {1, true}, {2, true}, {3, true}, {-1, true}};
    g_replacePath = dir.path() / "f.txt";
    for (const Case &c : cases) {
        dir.Write("f.txt", {'o', 'l', 'd'});
        qmtest::MakeReadOnly(g_replacePath, true);
        g_replace = {};
        g_replace.answer = c.answer;
        S().callbacks.okToReplace = {RecordReplace, 77};
        const HidFileItem e = Entry(R"(DIR\f.txt)", 5, 0x21);
        EXPECT_EQ(qm::AskReplace(S().callbacks, e, LibPath(g_replacePath).c_str()), c.answer);
        EXPECT_EQ(g_replace.calls, 1);
        EXPECT_EQ(g_replace.user, 77u);
        EXPECT_TRUE(g_replace.existingReadOnlyDuringCall);
        EXPECT_EQ(qmtest::IsReadOnly(g_replacePath), c.readOnlyAfter) << c.answer;
        EXPECT_EQ(ReadText(g_replacePath), "old");
        qmtest::MakeReadOnly(g_replacePath, false);
    }
}

TEST_F(OutputFiles, TheHostSeesBothRecords)
{
    dir.Write("f.txt", qmpack::Bytes(1234, 'x'));
    g_replacePath = dir.path() / "f.txt";
    g_replace = {};
    g_replace.answer = 1;
    S().callbacks.okToReplace = {RecordReplace, 0};
    const HidFileItem e = Entry(R"(DOCS\sub\f.txt)", 56464, 0x21);
    qm::AskReplace(S().callbacks, e, LibPath(g_replacePath).c_str());
    ASSERT_EQ(g_replace.calls, 1);

    const WIN32_FIND_DATAA &old = g_replace.existing;
    EXPECT_STREQ(old.cFileName, "f.txt");
    EXPECT_EQ(old.nFileSizeLow, 1234u);
    EXPECT_EQ(old.nFileSizeHigh, 0u);
    EXPECT_EQ(old.dwFileAttributes & 0x10, 0u);
    EXPECT_EQ(Ticks(old.ftLastWriteTime), qmtest::LastWriteTicks(g_replacePath));

    const WIN32_FIND_DATAA &rec = g_replace.entry;
    const std::int64_t expected = qmtest::LocalTimeTicks(2022, 3, 10, 11, 2, 20);
    EXPECT_EQ(rec.dwFileAttributes, 0x21u);
    EXPECT_EQ(Ticks(rec.ftCreationTime), expected);
    EXPECT_EQ(Ticks(rec.ftLastAccessTime), expected);
    EXPECT_EQ(Ticks(rec.ftLastWriteTime), expected);
    EXPECT_EQ(rec.nFileSizeHigh, 0u);
    EXPECT_EQ(rec.nFileSizeLow, 56464u);
    EXPECT_EQ(rec.dwReserved0, 0u);
    EXPECT_EQ(rec.dwReserved1, 0u);
    EXPECT_STREQ(rec.cFileName, R"(DOCS\sub\f.txt)");
    const char zeros[14] = {};
    EXPECT_EQ(std::memcmp(rec.cAlternateFileName, zeros, sizeof zeros), 0);
}

TEST(EntryFindData, AnInvalidDateGivesZeroTimesAndALongNameStaysTerminated)
{
    HidFileItem e = Entry("", 1);
    std::memset(e.name, 'n', sizeof e.name);  // no NUL in the whole field
    e.dosDateTime = 0x00000000;               // month 0
    const WIN32_FIND_DATAA rec = qm::EntryFindData(e);
    EXPECT_EQ(Ticks(rec.ftLastWriteTime), 0);
    EXPECT_EQ(std::strlen(rec.cFileName), 255u);
}

// ---- time and attributes -----------------------------------------------------------

TEST(DosDateTime, InvalidFieldsAreRefused)
{
    auto dos = [](int year, int month, int day, int hour, int minute, int twoSeconds) {
        const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
        const std::uint32_t time = static_cast<std::uint32_t>((hour << 11) | (minute << 5) | twoSeconds);
        return (date << 16) | time;
    };
    struct Case {
        std::uint32_t value;
        bool valid;
    };
    const Case cases[] = {
        {dos(2022, 3, 10, 11, 2, 10), true},
        {dos(2020, 2, 29, 0, 0, 0), true},
        {dos(2021, 12, 31, 23, 59, 29), true},
        {dos(2022, 0, 10, 11, 2, 10), false},
        {dos(2022, 13, 10, 11, 2, 10), false},
        {dos(2022, 3, 0, 11, 2, 10), false},
        {dos(2021, 2, 30, 0, 0, 0), false},
        {dos(2022, 3, 10, 24, 0, 0), false},
        {dos(2022, 3, 10, 11, 60, 0), false},
        {dos(2022, 3, 10, 11, 2, 30), false},  // 60 seconds
    };
    for (const Case &c : cases) {
        qm::platform::FileTime t{};
        EXPECT_EQ(qm::platform::DosDateTimeToUtc(c.value, &t), c.valid) << std::hex << c.value;
    }
    qm::platform::FileTime t{};
    ASSERT_TRUE(qm::platform::DosDateTimeToUtc(dos(2021, 12, 31, 23, 59, 29), &t));
    EXPECT_EQ(Ticks(t), qmtest::LocalTimeTicks(2021, 12, 31, 23, 59, 58));
}

TEST_F(OutputFiles, FinishGivesTheTimeFirstAndTheReadOnlyBitLast)
{
    const fs::path target = dir.path() / "f.txt";
    EXPECT_TRUE(WriteAndFinish(target, "abc", Entry("f.txt", 3, 0x21)));
    EXPECT_EQ(S().status, 0);
    EXPECT_EQ(ReadText(target), "abc");
    EXPECT_EQ(qmtest::LastWriteTicks(target), qmtest::LocalTimeTicks(2022, 3, 10, 11, 2, 20));
    EXPECT_TRUE(qmtest::IsReadOnly(target));
}

TEST_F(OutputFiles, FinishWithAnInvalidTimeFailsWithFiveAndKeepsTheFile)
{
    const fs::path target = dir.path() / "f.txt";
    HidFileItem e = Entry("f.txt", 3, 0x21);
    e.dosDateTime = 0x546A0000 | (24u << 11);  // 24 o'clock
    EXPECT_FALSE(WriteAndFinish(target, "abc", e));
    EXPECT_EQ(S().status, QM_STATUS_CANNOT_OPEN);
    EXPECT_EQ(ReadText(target), "abc");  // complete and verified: renamed into place
    EXPECT_EQ(qmtest::SortedNames(dir.path()), std::vector<std::string>{"f.txt"});
    EXPECT_FALSE(qmtest::IsReadOnly(target));  // attributes come only after the time
}

TEST_F(OutputFiles, AttributesReportFailureAndResetClearsReadOnly)
{
    EXPECT_NE(qm::ApplyFileAttributes(LibPath(dir.path() / "missing").c_str(), 0x20), 0u);
    const fs::path target = dir.path() / "f.txt";
    dir.Write("f.txt", {'x'});
    EXPECT_EQ(qm::ApplyFileAttributes(LibPath(target).c_str(), 0x01), 0u);
    EXPECT_TRUE(qmtest::IsReadOnly(target));
    qm::ResetAttributes(LibPath(target).c_str());
    EXPECT_FALSE(qmtest::IsReadOnly(target));
    qm::ResetAttributes(LibPath(dir.path() / "missing").c_str());  // nothing there: nothing done
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

}  // namespace
