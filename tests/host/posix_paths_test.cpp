// A POSIX host writes its paths with slashes: the carrier path, an output
// folder whose last levels do not exist yet and a name its SetFileNameProc
// writes all work as they would with backslashes, and a stored name still
// cannot leave the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "packer/carrier_writer.h"
#include "quillmark.h"

#ifndef _WIN32

namespace fs = std::filesystem;

namespace {

const qmpack::Bytes kText = {'s', 'l', 'a', 's', 'h', '\n'};

std::string g_rewrite;  // what the SetFileNameProc below writes
std::string g_seen;     // the output name it was offered

std::int32_t QM_CALL RewriteName(QmUserValue, const char *, char *outputName)
{
    g_seen = outputName;
    std::strcpy(outputName, g_rewrite.c_str());
    return 0;
}

std::int32_t QM_CALL AnyPassword(QmUserValue, char *buffer, const char *, std::int32_t)
{
    std::strcpy(buffer, "any");
    return 1;
}

class PosixPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("quillmark-posix-paths-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        qmpack::CarrierSpec layout;
        layout.entries.push_back(qmpack::StoredEntry("DOC\\A.TXT", kText));
        layout.entries.push_back(qmpack::StoredEntry("..\\..\\UP.TXT", kText));
        ASSERT_TRUE(qmpack::WriteFile((dir / "a.qm").string(), qmpack::BuildCarrier(layout)));
        arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    }

    void TearDown() override
    {
        DoneArcFile(0);
        SetOutputPath("");
        arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // The carrier path with slashes; a plain archive opened without a data
    // password asks for one once, so a callback answers.
    void Open()
    {
        InitArcFile((dir / "a.qm").c_str());
        ASSERT_EQ(GetArchiveStatus(), 0);
        SetSetCryptKeyProc(0, AnyPassword);
    }

    std::uint16_t ExtractAll()
    {
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        DoneFileMaskList(&masks);
        return GetArchiveStatus();
    }

    std::vector<std::string> FilesUnder(const fs::path &root) const
    {
        std::vector<std::string> files;
        for (const auto &f : fs::recursive_directory_iterator(root))
            if (f.is_regular_file())
                files.push_back(fs::relative(f.path(), root).string());
        std::sort(files.begin(), files.end());
        return files;
    }

    fs::path dir;
};

TEST_F(PosixPaths, MissingOutputLevelsAreCreatedWhateverTheSeparator)
{
    struct Case {
        const char *output;  // below dir
    } cases[] = {{"/new/sub"}, {"/new/sub/"}, {"\\new\\sub"}, {"/new\\sub"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output);
        fs::remove_all(dir / "new");
        ASSERT_NO_FATAL_FAILURE(Open());
        SetOutputPath((dir.string() + c.output).c_str());
        EXPECT_EQ(ExtractAll(), 0);
        // Both entries land below the output folder: the stored ".." levels
        // are dropped as before.
        EXPECT_EQ(FilesUnder(dir / "new" / "sub"), (std::vector<std::string>{"DOC/A.TXT", "UP.TXT"}));
        EXPECT_EQ(FilesUnder(dir), (std::vector<std::string>{"a.qm", "new/sub/DOC/A.TXT", "new/sub/UP.TXT"}));
    }
}

TEST_F(PosixPaths, HostRewriteTakesSlashes)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    SetOutputPath((dir / "out").c_str());
    g_rewrite = (dir / "host" / "deep" / "B.TXT").string();
    SetSetFileNameProc(0, RewriteName);
    FileMaskList masks;
    InitFileMaskList(&masks);
    AppendFileMask("DOC\\A.TXT", &masks);
    ExtractFileMaskListArc(&masks);
    DoneFileMaskList(&masks);
    EXPECT_EQ(GetArchiveStatus(), 0);
    // The proposed name has the library's separators.
    std::string expected = (dir / "out" / "DOC" / "A.TXT").string();
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(g_seen, expected);
    EXPECT_EQ(FilesUnder(dir / "host"), std::vector<std::string>{"deep/B.TXT"});
    EXPECT_FALSE(fs::exists(dir / "out"));
}

}  // namespace

#endif  // _WIN32
