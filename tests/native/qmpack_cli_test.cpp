// qmpack_cli_test.cpp - the qmpack program as a user drives it, with quill
// reading what it wrote: passwords, the file at the archive's path, options,
// files left out, memory on a big input, levels, and the terminal's progress
// line and Ctrl-C.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "encoder_inputs.h"
#include "native/program_runs.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

const Bytes kText = {'h', 'e', 'l', 'l', 'o', '\n'};

class QmpackCli : public ::testing::Test {
protected:
    QmpackCli()
    {
        fs::create_directories(src / "sub");
        qmpack::WriteFile((src / "a.txt").string(), kText);
        qmpack::WriteFile((src / "sub" / "text.txt").string(), qmtest::TextBytes(50000, 1));
    }

    qmtest::PipedRun Qmpack(const std::vector<std::string> &args, const qmtest::RunLimits &limits = {})
    {
        return qmtest::RunPiped(QM_QMPACK_PATH, args, dir.path(), limits);
    }
    qmtest::PipedRun Quill(const std::vector<std::string> &args)
    {
        return qmtest::RunPiped(QM_QUILL_PATH, args, dir.path());
    }
    // Files whose name holds ".qmpack-": temporary archives left behind.
    int Leftovers() const
    {
        int n = 0;
        for (const auto &entry : fs::recursive_directory_iterator(dir.path()))
            n += entry.path().filename().string().find(".qmpack-") != std::string::npos;
        return n;
    }

    qmtest::TempDir dir;
    fs::path src = dir.path() / "src";
    std::string archive = dir.File("a.qm");
    fs::path out = dir.path() / "out";
};

// A password reaches the archive as quill will read it: the UTF-8 command
// line in Windows-1252.
TEST_F(QmpackCli, PasswordsAreReadAsQuillReadsThem)
{
    const std::string umlauts = "\xC3\xBCn\xC3\xAF";  // ünï
    auto r = Qmpack({"-q", "-p", umlauts, "-H", umlauts, archive, src.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Quill({"x", "-p", umlauts, "-H", umlauts, "-o", out.string(), archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(qmpack::ReadFile((out / "src" / "a.txt").string()), kText);

    struct Case {
        std::vector<std::string> args;
        const char *message;
    };
    const Case refused[] = {
        {{"-p", ""}, "an empty password is refused"},
        {{"--password="}, "an empty password is refused"},
        {{"-H", ""}, "an empty header password is refused"},
        {{"-p", "\xCE\xA9"}, "the password has characters outside Windows-1252"},          // Ω
        {{"-H", "\xE2\x88\x9A"}, "the header password has characters outside Windows-1252"},  // √
        {{"-p", std::string(250, 'p')}, "longer than 249"},
    };
    for (const Case &c : refused) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {dir.File("refused.qm"), src.string()});
        r = Qmpack(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.File("refused.qm")));
    }
}

TEST_F(QmpackCli, ReplacesOnlyAnArchiveUnlessForced)
{
    const std::string notes = dir.File("notes.txt");
    qmpack::WriteFile(notes, kText);
    auto r = Qmpack({"-q", notes, src.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("notes.txt exists and is not an archive"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(qmpack::ReadFile(notes), kText);

    r = Qmpack({"-q", "--force", notes, src.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Quill({"t", notes}).exitCode, 0);

    // An archive is replaced as before, or added to with -a.
    ASSERT_EQ(Qmpack({"-q", archive, (src / "a.txt").string()}).exitCode, 0);
    ASSERT_EQ(Qmpack({"-q", archive, (src / "sub").string()}).exitCode, 0);
    r = Quill({"l", archive});
    EXPECT_EQ(r.out.find("a.txt"), std::string::npos) << r.out;
    ASSERT_EQ(Qmpack({"-q", "-a", archive, (src / "a.txt").string()}).exitCode, 0);
    r = Quill({"l", archive});
    EXPECT_NE(r.out.find("a.txt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sub\\text.txt"), std::string::npos) << r.out;

    // A folder at the archive's path is never taken.
    fs::create_directories(dir.path() / "folder.qm");
    r = Qmpack({"-q", "--force", dir.File("folder.qm"), src.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is a folder"), std::string::npos) << r.err;
    EXPECT_EQ(Leftovers(), 0);
}

TEST_F(QmpackCli, OptionsAnywhereBundledAndEnded)
{
    auto r = Qmpack({archive, src.string(), "-p", "pw", "-qm", "store"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = Quill({"l", archive});
    EXPECT_NE(r.out.find("*src\\sub\\text.txt"), std::string::npos) << r.out;  // enciphered
    EXPECT_NE(r.out.find(" 50008 "), std::string::npos) << r.out;  // stored: 3DES pads and adds 8
    EXPECT_EQ(Quill({"t", "-p", "pw", archive}).exitCode, 0);

    // After "--" a leading dash belongs to a name.
    const fs::path dashed = dir.path() / "-dash.txt";
    qmpack::WriteFile(dashed.string(), kText);
    r = Qmpack({"--method=lz", "--", archive, dashed.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(Quill({"l", archive}).out.find("-dash.txt"), std::string::npos);

    r = Qmpack({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("qmpack ", 0), 0u) << r.out;
    r = Qmpack({"--help"});
    for (const char *piece : {"-1 ... -9", "--force", "--strict", "left out", "Windows-1252"})
        EXPECT_NE(r.out.find(piece), std::string::npos) << piece;
    for (const std::vector<std::string> &args : {std::vector<std::string>{"-x", archive, src.string()},
                                                 {"--quiet=yes", archive, src.string()},
                                                 {archive, src.string(), "-m"}}) {
        r = Qmpack(args);
        EXPECT_EQ(r.exitCode, 2) << args[0];
    }
}

// Like zip and bsdtar: what cannot be packed is named with its reason, the
// rest is packed, and the exit status says that something was left out.
TEST_F(QmpackCli, FilesThatCannotBePackedAreLeftOutAndNamed)
{
    qmpack::WriteFile((src / "\xC5\xA1.txt").string(), kText);  // š: no code page 437 form
    fs::create_directories(src / "locked");
    qmpack::WriteFile((src / "locked" / "inside.txt").string(), kText);
    qmpack::WriteFile((src / "secret.txt").string(), kText);
    // Readable by nobody but root; qmpack runs as nobody when the tests run as root.
    fs::permissions(src / "locked", fs::perms::none);
    fs::permissions(src / "secret.txt", fs::perms::none);
    fs::permissions(dir.path(), fs::perms::all);
    qmtest::RunLimits asUser;
    asUser.unprivileged = true;

    auto r = Qmpack({"-q", archive, src.string(), dir.File("missing.txt")}, asUser);
    EXPECT_EQ(r.exitCode, 1);
    for (const std::string &piece : std::vector<std::string>{
             "\xC5\xA1.txt: the name cannot be stored: '\xC5\xA1'", "missing.txt: no such file or folder",
          "locked: cannot be listed: Permission denied", "secret.txt: cannot be read: Permission denied",
          "4 files or folders left out; " + archive + " holds the rest"})
        EXPECT_NE(r.err.find(piece), std::string::npos) << piece << "\n" << r.err;
    r = Quill({"l", archive});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("2 entries"), std::string::npos) << r.out;  // a.txt and sub/text.txt

    // --strict: all or nothing, and an older archive stays as it was.
    const Bytes before = qmpack::ReadFile(archive);
    r = Qmpack({"-q", "--strict", archive, src.string()}, asUser);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("a.qm not written (--strict)"), std::string::npos) << r.err;
    EXPECT_EQ(qmpack::ReadFile(archive), before);
    fs::permissions(src / "locked", fs::perms::owner_all);
    fs::permissions(src / "secret.txt", fs::perms::owner_all);
    EXPECT_EQ(Leftovers(), 0);
}

TEST_F(QmpackCli, MemoryStaysFlatWhateverTheInputSize)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
#endif
    // 300 MB of zeros (a sparse file): read whole, it would not fit the
    // limit; packed as it is read, it needs a few MiB.
    const std::string big = dir.File("big.bin");
    qmpack::WriteFile(big, {});
    ASSERT_EQ(truncate(big.c_str(), 300000000), 0);
    qmtest::RunLimits limits;
    limits.addressSpace = std::uint64_t{256} << 20;
    for (const char *method : {"lz", "auto"}) {
        SCOPED_TRACE(method);
        const auto r = Qmpack({"-q", "-m", method, archive, big}, limits);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_LT(r.peakKiB, 64 * 1024);
        EXPECT_LT(fs::file_size(archive), 1000000u);
    }
    // quill t checks the 300 MB entry in memory, piece by piece.
    const auto checked = qmtest::RunPiped(QM_QUILL_PATH, {"t", archive}, dir.path(), limits);
    EXPECT_EQ(checked.exitCode, 0) << checked.err;
    EXPECT_LT(checked.peakKiB, 16 * 1024);

    // Without the memory its buffers need, qmpack says so and leaves nothing.
    limits.addressSpace = std::uint64_t{16} << 20;
    const auto r = Qmpack({"-q", dir.File("small.qm"), big}, limits);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("out of memory"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("small.qm")));
    EXPECT_EQ(Leftovers(), 0);
}

TEST_F(QmpackCli, LevelsPackSmallerOrFaster)
{
    qmpack::WriteFile((src / "mixed.bin").string(), qmtest::MixedBytes(1 << 20, 3));
    std::uintmax_t previous = 0;
    for (const char *level : {"-1", "-5", "--best"}) {
        SCOPED_TRACE(level);
        const std::string packed = dir.File(std::string("level") + level + ".qm");
        ASSERT_EQ(Qmpack({"-q", level, packed, src.string()}).exitCode, 0);
        EXPECT_EQ(Quill({"t", packed}).exitCode, 0);
        if (previous) {
            EXPECT_LT(fs::file_size(packed), previous);
        }
        previous = fs::file_size(packed);
    }
}

TEST_F(QmpackCli, ProgressOnATerminalAndCtrlCLeavesNothing)
{
    // Long enough at -9 to be stopped in the middle.
    qmpack::WriteFile((src / "mixed.bin").string(), qmtest::MixedBytes(48 << 20, 4));
    ASSERT_EQ(Qmpack({"-q", "-1", archive, (src / "a.txt").string()}).exitCode, 0);
    const Bytes before = qmpack::ReadFile(archive);
    const auto s = qmtest::RunOnTerminal(QM_QMPACK_PATH, {"-9", archive, src.string()}, {{"mixed.bin ", "\x03"}});
    EXPECT_FALSE(s.finished) << s.screen;  // ended by the signal
    EXPECT_NE(s.screen.find("mixed.bin"), std::string::npos) << s.screen;
    EXPECT_NE(s.screen.find(" of "), std::string::npos) << s.screen;
    EXPECT_EQ(Leftovers(), 0);
    EXPECT_EQ(qmpack::ReadFile(archive), before);

    // Through pipes: no progress line.
    const auto r = Qmpack({"-1", archive, (src / "sub").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("sub/text.txt"), std::string::npos) << r.out;
}

}  // namespace
