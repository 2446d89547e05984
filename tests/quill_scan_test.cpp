// quill_scan_test.cpp - "quill scan" run in-process over a small tree: what
// it reports for plain, hidden, enciphered-header, damaged and cut archives
// and for files that are none, the same lines in the walk's order whatever
// the thread count, unreadable paths, links, and its command line; a
// folder opened again by another thread, descriptors left open, the start
// of a worker thread.
#include <gtest/gtest.h>

#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "crypto/des.h"
#include "packer/carrier_writer.h"
#include "quill/exit_codes.h"
#include "quill/json_listing.h"
#include "quill/scan_command.h"
#include "quill/scan_file.h"
#include "quill/scan_folder.h"
#include "quill/worker_thread.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

struct ScanRun {
    int code;
    std::string out;
    std::string err;
};

ScanRun Scan(const std::vector<std::string> &args)
{
    std::ostringstream out, err;
    const int code = quill::RunScan(args, out, err);
    return {code, out.str(), err.str()};
}

Bytes Text(std::size_t n, char c) { return Bytes(n, static_cast<std::uint8_t>(c)); }

Bytes Carrier(std::vector<qmpack::EntrySpec> entries, Bytes prefix = {})
{
    qmpack::CarrierSpec layout;
    layout.prefix = std::move(prefix);
    layout.entries = std::move(entries);
    return qmpack::BuildCarrier(layout);
}

Bytes EncipheredHeaders()
{
    qmpack::CarrierSpec layout;
    layout.flags = 1;
    layout.encipherHeader = [](std::uint8_t *block) {
        std::uint8_t key[16];
        qm::PasswordDigest("hidden", key);
        qm::DesSchedule k{};
        qm::BuildDesSchedule(key, qm::DesDirection::Encrypt, k);
        qm::DesBlocks(block, qmpack::kHeaderBlockSize / 8, k);
    };
    layout.entries = {qmpack::StoredEntry("A.TXT", Text(50, 'a'))};
    return qmpack::BuildCarrier(layout);
}

// A tree of archives and other files; names sort in the walk's order.
struct Tree {
    qmtest::TempDir dir;
    std::string root;

    Tree()
    {
        root = (dir.path() / "tree").string();
        fs::create_directories(dir.path() / "tree" / "b" / "deeper");
        put("a-plain.qm", Carrier({qmpack::StoredEntry("ONE.TXT", Text(100, '1')),
                                   qmpack::StoredEntry("DIR\\TWO.TXT", Text(200, '2'))}));
        put("b/hidden.jpg", Carrier({qmpack::StoredEntry("X.TXT", Text(10, 'x'))}, Text(5000, 'j')));
        put("b/deeper/headers.qm", EncipheredHeaders());
        auto bad = qmpack::StoredEntry("BAD.TXT", Text(300, 'b'));
        bad.dataCrc ^= 1;
        put("c-damaged.qm", Carrier({qmpack::StoredEntry("GOOD.TXT", Text(30, 'g')), bad}));
        const Bytes whole = Carrier({qmpack::StoredEntry("CUT.TXT", Text(4000, 'c'))});
        put("d-cut.qm", Bytes(whole.begin(), whole.end() - 1000));
        put("e-text.txt", Text(1000, 't'));
        put("f-empty", {});
        // A signature beyond the first 81,920 bytes is not looked for.
        put("g-late.bin", Carrier({qmpack::StoredEntry("L.TXT", Text(5, 'l'))}, Text(81920, 'p')));
    }

    void put(const std::string &name, const Bytes &bytes) const
    {
        ASSERT_TRUE(qmpack::WriteFile((dir.path() / "tree" / name).string(), bytes));
    }

    // As the walk spells it (backslashes on Windows).
    std::string at(const std::string &name) const { return (fs::path(root) / fs::path(name).make_preferred()).string(); }
    std::string json(const std::string &name) const { return quill::JsonString(at(name)); }
};

TEST(QuillScan, ReportsEveryArchiveWithTheSameLinesForAnyThreadCount)
{
    const Tree t;
    const ScanRun one = Scan({"-j", "1", "--json", "--test", t.root});
    const ScanRun three = Scan({"-j3", "--test", "--json", t.root});
    EXPECT_EQ(one.code, quill::kExitDamaged) << one.err;
    EXPECT_EQ(one.err, "");
    EXPECT_EQ(three.out, one.out);
    EXPECT_EQ(three.code, one.code);
    const std::string expected =
        "{\"path\": " + t.json("a-plain.qm") + ", \"offset\": 0, \"entries\": 2, \"headerCipher\": \"none\", "
        "\"test\": \"intact\", \"damaged\": [], \"error\": null}\n"
        "{\"path\": " + t.json("b/deeper/headers.qm") + ", \"offset\": 0, \"entries\": null, "
        "\"headerCipher\": \"des\", \"test\": \"password\", \"damaged\": [], \"error\": null}\n"
        "{\"path\": " + t.json("b/hidden.jpg") + ", \"offset\": 5000, \"entries\": 1, \"headerCipher\": \"none\", "
        "\"test\": \"intact\", \"damaged\": [], \"error\": null}\n"
        "{\"path\": " + t.json("c-damaged.qm") + ", \"offset\": 0, \"entries\": 2, \"headerCipher\": \"none\", "
        "\"test\": \"damaged\", \"damaged\": [\"BAD.TXT\"], \"error\": null}\n"
        "{\"path\": " + t.json("d-cut.qm") + ", \"offset\": 0, \"entries\": 1, \"headerCipher\": \"none\", "
        "\"test\": \"damaged\", \"damaged\": [\"CUT.TXT\"], \"error\": null}\n";
    EXPECT_EQ(one.out, expected);
}

// The threads share a folder in runs of files; folders sorting among the
// files keep their place, and the order holds for any thread count.
TEST(QuillScan, ManyFilesAndFoldersInOneFolderKeepTheWalksOrder)
{
    qmtest::TempDir dir;
    const fs::path root = dir.path() / "many";
    fs::create_directories(root / "f15x");
    fs::create_directories(root / "f33x" / "inner");
    const Bytes archive = Carrier({qmpack::StoredEntry("A.TXT", Text(20, 'a'))});
    std::vector<std::string> expected;
    for (int n = 0; n < 40; ++n) {
        const std::string name = (n < 10 ? "f0" : "f") + std::to_string(n);
        const bool isArchive = n == 0 || n == 16 || n == 17 || n == 39;
        ASSERT_TRUE(qmpack::WriteFile((root / name).string(), isArchive ? archive : Text(300, 'x')));
        if (isArchive)
            expected.push_back((root / name).string());
        if (n == 15 || n == 33) {
            const fs::path inside = n == 15 ? root / "f15x" / "a.qm" : root / "f33x" / "inner" / "b.qm";
            ASSERT_TRUE(qmpack::WriteFile(inside.string(), archive));
            expected.push_back(inside.string());
        }
    }
    std::string lines;
    for (const auto &path : expected)
        lines += path + ": archive at 0, 1 entry, header blocks plain\n";
    for (const char *threads : {"1", "2", "4"}) {
        const ScanRun r = Scan({"-j", threads, root.string()});
        EXPECT_EQ(r.code, quill::kExitOk) << threads << r.err;
        EXPECT_EQ(r.out, lines) << "-j " << threads;
    }
}

// The signature string alone, or cut short, is no signature: the search
// goes on to the record behind it.
TEST(QuillScan, SignatureStringWithoutItsRecordIsPassedOver)
{
    qmtest::TempDir dir;
    const std::string text = "QQuillmarkQuillmark!" + std::string(100, 'z');
    const Bytes prefix(text.begin(), text.end());
    const std::string path = (dir.path() / "decoy.bin").string();
    ASSERT_TRUE(qmpack::WriteFile(path, Carrier({qmpack::StoredEntry("A.TXT", Text(20, 'a'))}, prefix)));
    const ScanRun r = Scan({path});
    EXPECT_EQ(r.out, path + ": archive at 120, 1 entry, header blocks plain\n") << r.err;
    const std::string only = (dir.path() / "only.bin").string();
    ASSERT_TRUE(qmpack::WriteFile(only, prefix));
    EXPECT_EQ(Scan({only}).out, "");
}

TEST(QuillScan, TextLinesAndNoTestMeansNoVerdict)
{
    const Tree t;
    const ScanRun r = Scan({t.at("b"), t.at("a-plain.qm")});
    EXPECT_EQ(r.code, quill::kExitOk) << r.err;
    EXPECT_EQ(r.out, t.at("b/deeper/headers.qm") + ": archive at 0, entries unknown, header blocks enciphered (DES), "
                                                   "no header password\n" +
                         t.at("b/hidden.jpg") + ": archive at 5000, 1 entry, header blocks plain\n" +
                         t.at("a-plain.qm") + ": archive at 0, 2 entries, header blocks plain\n");
}

TEST(QuillScan, UnreadablePathsAreNamedAndTheScanGoesOn)
{
    const Tree t;
    const ScanRun r = Scan({"--json", t.at("missing.qm"), t.at("a-plain.qm")});
    EXPECT_EQ(r.code, quill::kExitUnreadable);
    EXPECT_NE(r.err.find(t.at("missing.qm") + ": cannot read"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(t.json("a-plain.qm")), std::string::npos) << r.out;
}

#ifndef _WIN32
TEST(QuillScan, LinksBelowTheGivenPathsAreNotFollowed)
{
    const Tree t;
    const fs::path outside = t.dir.path() / "outside";
    fs::create_directories(outside);
    ASSERT_TRUE(qmpack::WriteFile((outside / "far.qm").string(), Carrier({qmpack::StoredEntry("F", Text(3, 'f'))})));
    fs::create_directory_symlink(outside, fs::path(t.root) / "link-to-folder");
    fs::create_symlink(outside / "far.qm", fs::path(t.root) / "link-to-file.qm");
    fs::create_symlink(t.at("a-plain.qm"), fs::path(t.root) / "b" / "link-inside.qm");
    const ScanRun r = Scan({t.root});
    EXPECT_EQ(r.out.find("far.qm"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("link-"), std::string::npos) << r.out;
    // A link named on the command line is the user's choice.
    const ScanRun named = Scan({(fs::path(t.root) / "link-to-file.qm").string()});
    EXPECT_EQ(named.out, (fs::path(t.root) / "link-to-file.qm").string() + ": archive at 0, 1 entry, header blocks plain\n");
}
#endif

#ifndef _WIN32
// A thread that did not list a folder opens it again for itself: it must
// find the folder that was listed, not whatever stands at its name now.
TEST(QuillScanFolders, AnotherThreadFindsTheListedFolderOrSaysWhy)
{
    qmtest::TempDir dir;
    const fs::path root = dir.path() / "root";
    fs::create_directories(root / "sub");
    const Bytes archive = Carrier({qmpack::StoredEntry("X.TXT", Text(10, 'x'))});
    ASSERT_TRUE(qmpack::WriteFile((root / "sub" / "x.qm").string(), archive));

    std::string why;
    quill::FolderDescriptors lister;
    auto top = std::make_shared<quill::ScanFolder>();
    ASSERT_TRUE(top->OpenGiven(root.string(), lister, &why)) << why;
    auto sub = std::make_shared<quill::ScanFolder>();
    ASSERT_TRUE(sub->OpenIn(top, "sub", lister, &why)) << why;

    quill::FolderDescriptors early;  // a thread that comes before the swap
    quill::ScanFile first;
    ASSERT_TRUE(first.OpenIn(*sub, early, "x.qm", &why)) << why;
    EXPECT_EQ(first.Length(), archive.size());

    fs::rename(root / "sub", root / "old");
    fs::create_directories(root / "sub");
    ASSERT_TRUE(qmpack::WriteFile((root / "sub" / "x.qm").string(), Text(7, 'n')));
    quill::FolderDescriptors late;
    quill::ScanFile swapped;
    EXPECT_FALSE(swapped.OpenIn(*sub, late, "x.qm", &why));
    EXPECT_EQ(why, "replaced by another folder during the scan");

    fs::remove_all(root / "sub");
    fs::create_directory_symlink(root / "old", root / "sub");
    quill::FolderDescriptors later;
    quill::ScanFile linked;
    EXPECT_FALSE(linked.OpenIn(*sub, later, "x.qm", &why));
    EXPECT_EQ(why, "a link or a file now stands there");

    // The thread that opened it before still reads the listed folder.
    quill::ScanFile again;
    ASSERT_TRUE(again.OpenIn(*sub, early, "x.qm", &why)) << why;
    EXPECT_EQ(again.Length(), archive.size());
}

#ifdef __linux__
std::size_t OpenDescriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// More folders than a thread keeps open, at one and at several threads: the
// calling thread ends with the descriptors it had.
TEST(QuillScan, LeavesNoDescriptorOpen)
{
    qmtest::TempDir dir;
    for (int f = 0; f < 20; ++f) {
        const fs::path folder = dir.path() / ("f" + std::to_string(f)) / "inner";
        fs::create_directories(folder);
        ASSERT_TRUE(qmpack::WriteFile((folder / "a.qm").string(),
                                      Carrier({qmpack::StoredEntry("A.TXT", Text(10, 'a'))})));
    }
    for (const char *jobs : {"1", "3"}) {
        const std::size_t before = OpenDescriptors();
        const ScanRun r = Scan({"-j", jobs, dir.path().string()});
        EXPECT_EQ(r.code, quill::kExitOk) << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 20) << r.out;
        EXPECT_EQ(OpenDescriptors(), before) << jobs << " threads";
    }
}
#endif

// A worker starts on another processor where there is one, and is then
// free to run on all of them again.
TEST(QuillScanThreads, AWorkerRunsItsBodyUnbound)
{
#ifdef __linux__
    cpu_set_t process;
    ASSERT_EQ(sched_getaffinity(0, sizeof process, &process), 0);
#endif
    std::atomic<int> runs{0};
    std::atomic<bool> sameProcessors{true};
    {
        std::vector<quill::WorkerThread> workers;
        for (unsigned i = 0; i < 3; ++i)
            workers.emplace_back(i, [&] {
#ifdef __linux__
                cpu_set_t mine;
                if (sched_getaffinity(0, sizeof mine, &mine) != 0 || !CPU_EQUAL(&mine, &process))
                    sameProcessors = false;
#endif
                ++runs;
            });
    }  // joined here
    EXPECT_EQ(runs, 3);
    EXPECT_TRUE(sameProcessors);
}
#endif

TEST(QuillScan, CommandLine)
{
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string says;
    };
    const Case cases[] = {
        {{}, quill::kExitUsage, "scan needs at least one file or folder"},
        {{"-j", "0", "x"}, quill::kExitUsage, "-j needs a number"},
        {{"-j"}, quill::kExitUsage, "-j needs a number"},
        {{"-jx", "x"}, quill::kExitUsage, "-j needs a number"},
        {{"--fast", "x"}, quill::kExitUsage, "unknown option '--fast'"},
        {{"--help"}, quill::kExitOk, "usage: quill scan"},
    };
    for (const auto &c : cases) {
        const ScanRun r = Scan(c.args);
        EXPECT_EQ(r.code, c.code) << c.says;
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
    }
}

}  // namespace
