// quill_habits_test.cpp - the quill program as a user of unzip, bsdtar and
// 7z tries it: x keeps the stored folders and e does not, shell-style masks
// on the corpus's real archive, a mask that matches nothing, getopt's option
// forms, and the reason an archive cannot be opened.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "native/program_runs.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class QuillHabits : public ::testing::Test {
protected:
    qmtest::PipedRun Quill(const std::vector<std::string> &args, const qmtest::RunLimits &limits = {})
    {
        return qmtest::RunPiped(QM_QUILL_PATH, args, dir.path(), limits);
    }

    qmtest::TempDir dir;
    fs::path out = dir.path() / "out";
    const std::string sample = qmtest::CorpusFile("real-lz.qm");  // SOUND\BOAT.WAV, LICENSE.txt
};

TEST_F(QuillHabits, XKeepsTheStoredFoldersAndEPutsAllInOne)
{
    auto r = Quill({"x", "-qo", out.string(), sample});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(out / "SOUND" / "BOAT.WAV"));
    EXPECT_TRUE(fs::is_regular_file(out / "LICENSE.txt"));
    // -k is still taken, and changes nothing.
    r = Quill({"x", "-k", "-y", "--output=" + out.string(), sample});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    fs::remove_all(out);
    r = Quill({"e", sample, "-o", out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(out / "BOAT.WAV"));
    EXPECT_FALSE(fs::exists(out / "SOUND"));
}

TEST_F(QuillHabits, ShellStyleMasksOnTheSampleArchive)
{
    auto r = Quill({"l", sample, "*"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("2 entries"), std::string::npos) << r.out;

    r = Quill({"x", sample, "-o", out.string(), "*.wav"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(out / "SOUND" / "BOAT.WAV"));
    EXPECT_FALSE(fs::exists(out / "LICENSE.txt"));

    // Like unzip's "filename not matched": named, exit code 8, the rest done.
    fs::remove_all(out);
    r = Quill({"x", sample, "-o", out.string(), "*.wav", "*.zip"});
    EXPECT_EQ(r.exitCode, 8);
    EXPECT_NE(r.err.find("real-lz.qm: no entry matches the mask *.zip"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_regular_file(out / "SOUND" / "BOAT.WAV"));
    r = Quill({"t", sample, "sound/*", "nope/*"});
    EXPECT_EQ(r.exitCode, 8);
    EXPECT_NE(r.out.find("ok  SOUND\\BOAT.WAV"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("no entry matches the mask nope/*"), std::string::npos) << r.err;
}

TEST_F(QuillHabits, AnArchiveThatCannotBeOpenedSaysWhy)
{
    const std::string pipe = dir.File("pipe.qm");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string locked = dir.File("locked.qm");
    fs::copy_file(sample, locked);
    fs::permissions(locked, fs::perms::none);
    fs::permissions(dir.path(), fs::perms::all);
    qmtest::RunLimits asUser;  // as nobody when root, so the permission counts
    asUser.unprivileged = true;
    struct Case {
        std::string path;
        const char *reason;
    };
    const Case cases[] = {
        {dir.path().string(), "is a folder, not an archive file"},
        {"/dev/null", "is a device, not an archive file"},
        {pipe, "is a pipe, not an archive file"},
        {locked, "cannot be opened: Permission denied"},
        {dir.File("absent.qm"), "no such file"},
    };
    for (const Case &c : cases) {
        for (const char *command : {"l", "t", "x"}) {
            SCOPED_TRACE(std::string(command) + " " + c.path);
            std::vector<std::string> args = {command, c.path};
            if (command == std::string("x"))
                args.insert(args.end(), {"-o", out.string()});
            const auto r = Quill(args, asUser);
            EXPECT_EQ(r.exitCode, 3);
            EXPECT_EQ(r.err, "quill: " + c.path + ": " + c.reason + "\n");
        }
    }
}

}  // namespace
