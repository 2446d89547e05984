// The extraction run end to end, through the exports, on carrier files made
// by the packer: what lands on disk, the password questions, the retry after
// a CRC mismatch, the replace question, the host's rewrite of the output
// path, progress, and what every failure leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "state/callbacks.h"
#include "state/options.h"
#include "extract_test_support.h"
#include "packer/carrier_writer.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using qmpack::Bytes;
using qmtest::LibPath;

namespace {

constexpr std::uint32_t kDosA = 0x546A584A;  // 2022-03-10 11:02:20
constexpr std::uint32_t kDosB = 0x4A2F6C21;  // 2017-01-15 13:33:02

Bytes Pattern(std::size_t size, std::uint8_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return b;
}

qmpack::EntrySpec Stored(const std::string &name, const Bytes &data, std::uint32_t attributes = 0x20,
                         std::uint32_t dos = kDosA)
{
    qmpack::EntrySpec e = qmpack::StoredEntry(name, data);
    e.attributes = attributes;
    e.dosDateTime = dos;
    return e;
}

// ---- the host ------------------------------------------------------------------------

struct PasswordReply {
    std::int32_t result;
    std::string password;
    std::uint16_t statusToSet = 0;
};

struct Host {
    std::vector<std::string> events;
    std::deque<PasswordReply> passwords;  // answers, in order; an empty queue answers 0
    std::int32_t replaceAnswer = 0;
    std::function<void(char *)> rename;
    std::uint16_t statusOnName = 0;
    std::function<std::int32_t(std::int32_t, std::int32_t)> progress;
    bool answerBufferWasZero = true;
    std::vector<std::pair<std::int32_t, std::int32_t>> progressCalls;
};
Host g_host;

std::int32_t QM_CALL OnFileName(QmUserValue, const char *name, char *outputPath)
{
    g_host.events.push_back(std::string("name ") + name);
    if (g_host.statusOnName)
        SetArchiveStatus(g_host.statusOnName);
    if (g_host.rename)
        g_host.rename(outputPath);
    return 0;
}

std::int32_t QM_CALL OnReplace(QmUserValue, WIN32_FIND_DATAA *, WIN32_FIND_DATAA *entry)
{
    g_host.events.push_back(std::string("replace ") + entry->cFileName);
    return g_host.replaceAnswer;
}

std::int32_t QM_CALL OnProgress(QmUserValue, std::int32_t percent, std::int32_t count)
{
    g_host.progressCalls.emplace_back(percent, count);
    return g_host.progress ? g_host.progress(percent, count) : 1;
}

std::int32_t QM_CALL OnKey(QmUserValue, char *buffer, const char *name, std::int32_t kind)
{
    g_host.events.push_back("key " + std::to_string(kind) + " " + name);
    for (int i = 0; i < 250; ++i)
        if (buffer[i] != 0)
            g_host.answerBufferWasZero = false;
    if (g_host.passwords.empty())
        return 0;
    const PasswordReply reply = g_host.passwords.front();
    g_host.passwords.pop_front();
    std::memcpy(buffer, reply.password.c_str(), reply.password.size() + 1);
    if (reply.statusToSet)
        SetArchiveStatus(reply.statusToSet);
    return reply.result;
}

class Extraction : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_host = Host{};
        out = dir.path() / "out";
        fs::create_directory(out);
    }

    void TearDown() override
    {
        DoneArcFile(0);
        SetOutputPath("");
        arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
        qmtest::EmptyEveryCallbackSlot();
        SetArchiveStatus(0);
        std::error_code ec;
        for (const auto &e : fs::recursive_directory_iterator(dir.path(), ec))
            if (e.is_regular_file())
                qmtest::MakeReadOnly(e.path(), false);
    }

    // Writes the carrier, opens it (with a data password unless none is
    // given) and points the output path at out/.
    void Open(const std::vector<qmpack::EntrySpec> &entries, const char *dataPassword = "pw")
    {
        qmpack::CarrierSpec layout;
        layout.prefix = Pattern(300, 9);
        layout.entries = entries;
        const std::string carrier = dir.Write("carrier.bin", qmpack::BuildCarrier(layout));
        if (dataPassword) {
            ArcOpenParams params;
            std::memset(&params, 0, sizeof params);
            std::strcpy(params.dataPassword, dataPassword);
            InitHidFile(carrier.c_str(), &params);
        } else {
            InitArcFile(carrier.c_str());
        }
        ASSERT_EQ(GetArchiveStatus(), 0);
        SetOutputPath(LibPath(out).c_str());
    }

    // Registers the recording host's callbacks (after the open, which empties them).
    void Register(bool name = true, bool replace = true, bool progress = false, bool key = true)
    {
        SetSetFileNameProc(1, name ? OnFileName : nullptr);
        SetOkToReplaceProc(2, replace ? OnReplace : nullptr);
        SetSetProgressProc(3, progress ? OnProgress : nullptr);
        SetSetCryptKeyProc(4, key ? OnKey : nullptr);
    }

    std::uint16_t Extract(const std::vector<std::string> &masks = {})
    {
        FileMaskList list;
        InitFileMaskList(&list);
        for (const std::string &m : masks)
            AppendFileMask(m.c_str(), &list);
        ExtractFileMaskListArc(&list);
        const std::uint16_t status = GetArchiveStatus();
        DoneFileMaskList(&list);
        return status;
    }

    // Empties out/; read-only files would stop the removal on Windows.
    void FreshOut()
    {
        for (const auto &e : fs::recursive_directory_iterator(out))
            if (e.is_regular_file())
                qmtest::MakeReadOnly(e.path(), false);
        fs::remove_all(out);
        fs::create_directory(out);
    }

    Bytes Read(const std::string &name) const { return qmpack::ReadFile((out / name).string()); }
    bool Exists(const std::string &name) const { return fs::exists(out / name); }

    qmtest::TempDir dir;
    fs::path out;
};

const Bytes kA = Pattern(100, 1);
const Bytes kB = Pattern(5000, 2);
const Bytes kC = Pattern(33000, 3);

// ---- what lands on disk -------------------------------------------------------------

TEST_F(Extraction, StoredEntriesGetTheirDataTimeAndAttributes)
{
    Open({Stored("A.TXT", kA), Stored(R"(DIR\EMPTY.TXT)", {}, 0x20, kDosB), Stored("C.TXT", kC, 0x21, kDosB)});
    EXPECT_EQ(Extract(), 0);
    EXPECT_EQ(Read("A.TXT"), kA);
    EXPECT_EQ(Read("EMPTY.TXT"), Bytes{});
    EXPECT_EQ(Read("C.TXT"), kC);
    const std::int64_t timeA = qmtest::LocalTimeTicks(2022, 3, 10, 11, 2, 20);
    const std::int64_t timeB = qmtest::LocalTimeTicks(2017, 1, 15, 13, 33, 2);
    EXPECT_EQ(qmtest::LastWriteTicks(out / "A.TXT"), timeA);
    EXPECT_EQ(qmtest::LastWriteTicks(out / "EMPTY.TXT"), timeB);
    EXPECT_EQ(qmtest::LastWriteTicks(out / "C.TXT"), timeB);
    EXPECT_FALSE(qmtest::IsReadOnly(out / "A.TXT"));
    EXPECT_TRUE(qmtest::IsReadOnly(out / "C.TXT"));
}

TEST_F(Extraction, PackedSizeEqualToUnpackedIsCopiedAndChainingValueIsSkipped)
{
    Open({Stored("SAME.BIN", kB), qmpack::ChainingOnlyEntry("IV.BIN", kC)});
    EXPECT_EQ(Extract(), 0);
    EXPECT_EQ(Read("SAME.BIN"), kB);
    EXPECT_EQ(Read("IV.BIN"), kC);
}

TEST_F(Extraction, MasksThatMatchNothingTouchNoFile)
{
    Open({Stored("A.TXT", kA)});
    EXPECT_EQ(Extract({"*.ZZZ"}), QM_STATUS_EMPTY_LIST);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(Extraction, BothExportsStartFromAClearStatus)
{
    Open({Stored("A.TXT", kA)});
    FileMaskList masks;
    InitFileMaskList(&masks);
    SetArchiveStatus(QM_STATUS_CRC_MISMATCH);
    ExtractFileMaskListHid(&masks);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(Read("A.TXT"), kA);
    fs::remove(out / "A.TXT");
    SetArchiveStatus(QM_STATUS_CRC_MISMATCH);
    ExtractFileMaskListArc(&masks);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(Read("A.TXT"), kA);
    DoneFileMaskList(&masks);
}

TEST_F(Extraction, ADamagedHeaderBlockLaterInTheArchiveExtractsNothing)
{
    qmpack::EntrySpec damaged = Stored("B.TXT", kB);
    damaged.magic = 78;
    Open({Stored("A.TXT", kA), damaged});
    EXPECT_EQ(Extract(), QM_STATUS_BAD_HEADER);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(Extraction, ADamagedPlainEntryEndsTheRunAndLeavesNoFile)
{
    qmpack::EntrySpec damaged = Stored("B.TXT", kB);
    damaged.stored[10] ^= 0x40;
    Open({Stored("A.TXT", kA), damaged, Stored("C.TXT", kC)});
    EXPECT_EQ(Extract(), QM_STATUS_CRC_MISMATCH);
    EXPECT_EQ(Read("A.TXT"), kA);
    EXPECT_FALSE(Exists("B.TXT"));
    EXPECT_FALSE(Exists("C.TXT"));
}

TEST_F(Extraction, ATimeThatCannotBeSetEndsTheRunAndKeepsTheFile)
{
    const std::uint32_t month13 = (42u << 25) | (13u << 21) | (10u << 16);
    Open({Stored("A.TXT", kA), Stored("B.TXT", kB, 0x21, month13), Stored("C.TXT", kC)});
    EXPECT_EQ(Extract(), QM_STATUS_CANNOT_OPEN);
    EXPECT_EQ(Read("A.TXT"), kA);
    EXPECT_EQ(Read("B.TXT"), kB);                     // complete and verified
    EXPECT_FALSE(qmtest::IsReadOnly(out / "B.TXT"));  // attributes come after the time
    EXPECT_FALSE(Exists("C.TXT"));
}

TEST_F(Extraction, ANameThatDoesNotFitEndsTheRunWithNothingWritten)
{
    const std::string longName = std::string(250, 'N') + ".TXT";
    Open({Stored("A.TXT", kA), Stored(longName, kB), Stored("C.TXT", kC)});
    EXPECT_EQ(Extract(), QM_STATUS_CANNOT_OPEN);
    EXPECT_EQ(Read("A.TXT"), kA);
    std::vector<fs::path> left;
    for (const auto &e : fs::directory_iterator(out))
        left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"A.TXT"});
}

TEST_F(Extraction, NamesWithAMeaningOnWindowsLandAsPlainFilesThere)
{
    // Device names and components ending in a full stop or a space: on
    // Windows they become plain names; elsewhere they are written as stored.
    const struct {
        const char *stored, *windows;
    } rows[] = {
        {"CON", "_CON"},
        {"aux.txt", "_aux.txt"},
        {"LPT1\\x.txt", "_LPT1\\x.txt"},
        {"Nul .log", "_Nul .log"},
        {"a. ", "a"},
        {"dir.\\b.txt", "dir\\b.txt"},
    };
    std::vector<qmpack::EntrySpec> entries;
    for (std::size_t i = 0; i < std::size(rows); ++i)
        entries.push_back(Stored(rows[i].stored, Pattern(64, static_cast<std::uint8_t>(i))));
    Open(entries);
    arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    EXPECT_EQ(Extract(), 0);
    std::size_t files = 0;
    for (const auto &e : fs::recursive_directory_iterator(out))
        files += e.is_regular_file();
    EXPECT_EQ(files, std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
#ifdef _WIN32
        std::string name = rows[i].windows;
#else
        std::string name = rows[i].stored;
#endif
        std::replace(name.begin(), name.end(), '\\', '/');
        EXPECT_EQ(Read(name), Pattern(64, static_cast<std::uint8_t>(i))) << rows[i].stored;
    }

    // A file name of full stops only would have no name left on Windows.
    FreshOut();
    Open({Stored("A.TXT", kA), Stored("...", kB)});
#ifdef _WIN32
    // (Asking Windows whether "..." exists asks about out\ itself.)
    EXPECT_EQ(Extract(), QM_STATUS_CANNOT_OPEN);
    std::vector<fs::path> left;
    for (const auto &e : fs::directory_iterator(out))
        left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"A.TXT"});
#else
    EXPECT_EQ(Extract(), 0);
    EXPECT_EQ(Read("..."), kB);
#endif
    EXPECT_EQ(Read("A.TXT"), kA);
}

// ---- the data password ----------------------------------------------------------------

TEST_F(Extraction, WithoutADataPasswordTheFirstEntryAsks)
{
    struct Case {
        const char *what;
        std::deque<PasswordReply> replies;
        bool registerKey;
        std::uint16_t status;
        std::vector<std::string> questions;
        bool extracted;
    };
    const std::vector<std::string> one = {"key 0 A.TXT"};
    const Case cases[] = {
        {"a password serves every entry", {{1, "secret"}}, true, 0, one, true},
        {"an empty password asks again", {{1, ""}, {1, ""}, {1, ""}}, true, 0,
         {"key 0 A.TXT", "key 0 B.TXT", "key 0 C.TXT"}, true},
        {"answer 0 gives up", {{0, ""}}, true, QM_STATUS_BAD_PASSWORD, one, false},
        {"another answer gives up", {{5, "x"}}, true, QM_STATUS_BAD_PASSWORD, one, false},
        {"no callback", {}, false, QM_STATUS_BAD_PASSWORD, {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FreshOut();
        Open({Stored("A.TXT", kA), Stored("B.TXT", kB), Stored("C.TXT", kC)}, nullptr);
        g_host = Host{};
        g_host.passwords = c.replies;
        Register(false, false, false, c.registerKey);
        EXPECT_EQ(Extract(), c.status);
        EXPECT_EQ(g_host.events, c.questions);
        EXPECT_TRUE(g_host.answerBufferWasZero);
        EXPECT_EQ(Exists("A.TXT"), c.extracted);
        EXPECT_EQ(Exists("C.TXT"), c.extracted);
        if (!c.extracted) {
            EXPECT_TRUE(fs::is_empty(out));
        }
    }
}

TEST_F(Extraction, APasswordOnceGivenServesLaterRuns)
{
    Open({Stored("A.TXT", kA)}, nullptr);
    g_host.passwords = {{1, "secret"}};
    Register(false, false, false, true);
    EXPECT_EQ(Extract(), 0);
    fs::remove(out / "A.TXT");
    EXPECT_EQ(Extract(), 0);
    EXPECT_EQ(g_host.events, std::vector<std::string>{"key 0 A.TXT"});
}

TEST_F(Extraction, AMismatchOfAnEncipheredEntryAsksAgainAndRedoesTheEntry)
{
    qmpack::EntrySpec bad = qmpack::ChainingOnlyEntry("B.TXT", kB);
    bad.dataCrc ^= 1;  // never matches, whatever the password
    Open({Stored("A.TXT", kA), bad, Stored("C.TXT", kC)});
    g_host.passwords = {{1, "second"}, {1, "third"}, {0, ""}};
    Register(true, true, false, true);
    EXPECT_EQ(Extract(), QM_STATUS_BAD_PASSWORD);
    const std::vector<std::string> expected = {
        R"(name \A.TXT)", R"(name \B.TXT)", "key 0 B.TXT",
        R"(name \B.TXT)", "key 0 B.TXT", R"(name \B.TXT)", "key 0 B.TXT"};
    EXPECT_EQ(g_host.events, expected);  // no replace question: the discarded file is gone
    EXPECT_EQ(Read("A.TXT"), kA);
    EXPECT_FALSE(Exists("B.TXT"));
    EXPECT_FALSE(Exists("C.TXT"));
}

TEST_F(Extraction, AMismatchAnsweredOtherwiseKeepsTheFileUnlessTheHostSetAStatus)
{
    struct Case {
        PasswordReply reply;
        bool registerKey;
        std::uint16_t status;
        bool kept;
    };
    const Case cases[] = {
        {{3, ""}, true, 0, true},
        {{3, "", 4321}, true, 4321, false},
        {{0, ""}, true, QM_STATUS_BAD_PASSWORD, false},
        {{0, ""}, false, QM_STATUS_BAD_PASSWORD, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply.result);
        FreshOut();
        qmpack::EntrySpec bad = qmpack::ChainingOnlyEntry("B.TXT", kB);
        bad.dataCrc ^= 1;
        bad.attributes = 0x21;
        Open({bad, Stored("C.TXT", kC)});
        g_host = Host{};
        g_host.passwords = {c.reply};
        Register(false, false, false, c.registerKey);
        EXPECT_EQ(Extract(), c.status);
        EXPECT_EQ(Exists("B.TXT"), c.kept);
        EXPECT_EQ(Exists("C.TXT"), c.kept);
        if (c.kept) {
            EXPECT_EQ(Read("B.TXT"), kB);
            EXPECT_EQ(qmtest::LastWriteTicks(out / "B.TXT"), qmtest::LocalTimeTicks(2022, 3, 10, 11, 2, 20));
            EXPECT_TRUE(qmtest::IsReadOnly(out / "B.TXT"));
        }
    }
}

// ---- the replace question -------------------------------------------------------------

TEST_F(Extraction, TheReplaceAnswerDecidesForAnExistingFile)
{
    struct Case {
        std::int32_t answer;
        bool readOnly;
        bool registerReplace;
        std::uint16_t status;
        bool replaced;
        bool laterExtracted;
    };
    const Case cases[] = {
        {1, false, true, 0, false, true},
        {2, false, true, QM_STATUS_STOPPED, false, false},
        {0, true, true, 0, true, true},
        {3, false, true, 0, true, true},
        {3, true, true, QM_STATUS_CANNOT_OPEN, false, false},
        {0, false, false, 0, true, true},
        {0, true, false, QM_STATUS_CANNOT_OPEN, false, false},
    };
    const Bytes old = Pattern(77, 42);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "answer " << c.answer << " read-only " << c.readOnly
                                        << " callback " << c.registerReplace);
        FreshOut();
        qmpack::WriteFile((out / "B.TXT").string(), old);
        const std::int64_t oldTime = qmtest::LastWriteTicks(out / "B.TXT");
        if (c.readOnly)
            qmtest::MakeReadOnly(out / "B.TXT", true);
        Open({Stored("A.TXT", kA), Stored("B.TXT", kB), Stored("C.TXT", kC)});
        g_host = Host{};
        g_host.replaceAnswer = c.answer;
        Register(false, c.registerReplace, false, false);
        EXPECT_EQ(Extract(), c.status);
        EXPECT_EQ(Read("A.TXT"), kA);
        EXPECT_EQ(Read("B.TXT"), c.replaced ? kB : old);
        if (!c.replaced) {
            EXPECT_EQ(qmtest::LastWriteTicks(out / "B.TXT"), oldTime);
        }
        EXPECT_EQ(Exists("C.TXT"), c.laterExtracted);
        if (c.registerReplace) {
            EXPECT_EQ(g_host.events, std::vector<std::string>{"replace B.TXT"});
        }
    }
}

// ---- the host's rewrite of the output path ------------------------------------------

TEST_F(Extraction, TheRewrittenPathIsUsedForEverything)
{
    const fs::path target = dir.path() / "elsewhere" / "deep" / "renamed.bin";
    Open({Stored("A.TXT", kA, 0x21, kDosB)});
    g_host.rename = [&](char *buffer) { std::strcpy(buffer, LibPath(target).c_str()); };
    g_host.statusOnName = 777;  // overwritten by the open
    Register(true, true, false, false);
    EXPECT_EQ(Extract(), 0);
    EXPECT_FALSE(Exists("A.TXT"));
    EXPECT_EQ(qmpack::ReadFile(target.string()), kA);
    EXPECT_EQ(qmtest::LastWriteTicks(target), qmtest::LocalTimeTicks(2017, 1, 15, 13, 33, 2));
    EXPECT_TRUE(qmtest::IsReadOnly(target));

    // A second run asks about the rewritten path, not the composed one.
    g_host.events.clear();
    g_host.replaceAnswer = 1;
    g_host.statusOnName = 0;  // a skipped entry would leave it standing
    EXPECT_EQ(Extract(), 0);
    EXPECT_EQ(g_host.events, (std::vector<std::string>{R"(name \A.TXT)", "replace A.TXT"}));
}

TEST_F(Extraction, ARewriteThatFillsTheWholeBufferIsCutAt255Characters)
{
    Open({Stored("A.TXT", kA)});
    const std::string base = LibPath(out) + "\\";
    g_host.rename = [&](char *buffer) {
        std::memcpy(buffer, base.data(), base.size());
        std::memset(buffer + base.size(), 'x', 256 - base.size());  // no NUL anywhere
    };
    Register(true, false, false, false);
    EXPECT_EQ(Extract(), 0);
    EXPECT_EQ(Read(std::string(255 - base.size(), 'x')), kA);
}

// ---- progress ---------------------------------------------------------------------------

TEST_F(Extraction, ProgressCountsOnlyTheCurrentEntry)
{
    Open({Stored("A.TXT", kA), Stored("BIG.BIN", Pattern(65024, 5))});
    Register(false, false, true, false);
    EXPECT_EQ(Extract(), 0);
    using Call = std::pair<std::int32_t, std::int32_t>;
    const std::vector<Call> expected = {{100, 100}, {50, 32512}, {100, 32512}};
    EXPECT_EQ(g_host.progressCalls, expected);
}

TEST_F(Extraction, AHostThatStopsProgressEndsTheRunAndTheFileIsGone)
{
    struct Case {
        const char *what;
        std::int32_t result;     // returned at 50 percent
        std::uint16_t setStatus; // set from inside the callback at 50 percent
        std::uint16_t status;
    };
    const Case cases[] = {
        {"returns 0", 0, 0, QM_STATUS_STOPPED},
        {"sets a status of its own", 1, 4444, 4444},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FreshOut();
        Open({Stored("A.TXT", kA), Stored("BIG.BIN", Pattern(65024, 5)), Stored("C.TXT", kC)});
        g_host = Host{};
        g_host.progress = [&c](std::int32_t percent, std::int32_t) {
            if (percent != 50)
                return 1;
            if (c.setStatus)
                SetArchiveStatus(c.setStatus);
            return c.result;
        };
        Register(false, false, true, false);
        EXPECT_EQ(Extract(), c.status);
        EXPECT_EQ(Read("A.TXT"), kA);
        EXPECT_FALSE(Exists("BIG.BIN"));
        EXPECT_FALSE(Exists("C.TXT"));
    }
}

}  // namespace
