// A host that knows the library only through its public header and its
// shared library: it opens the real archive of the corpus, extracts it in the
// ways a host would, and checks every file against the archive's manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "extract_test_support.h"
#include "packer/carrier_writer.h"
#include "quillmark.h"

namespace fs = std::filesystem;
using qmtest::LibPath;

namespace {

struct ManifestEntry {
    std::string name;  // stored name, backslashes
    std::uint32_t unpacked;
    std::uint32_t crc;
    std::uint32_t dosTime;
    std::uint32_t attributes;
};

// The text of the string or number that follows "key": at or after pos.
std::string JsonField(const std::string &json, const std::string &key, std::size_t &pos)
{
    pos = json.find("\"" + key + "\":", pos);
    if (pos == std::string::npos)
        return {};
    std::size_t at = json.find_first_not_of(" \t\r\n", pos + key.size() + 3);
    if (at == std::string::npos)
        return {};
    const bool quoted = json[at] == '"';
    const std::size_t begin = quoted ? at + 1 : at;
    const std::size_t stop = quoted ? json.find('"', begin) : json.find_first_of(",}\r\n", begin);
    std::string value = json.substr(begin, stop - begin);
    // JSON writes a backslash as two.
    for (std::size_t i = value.find("\\\\"); i != std::string::npos; i = value.find("\\\\", i + 1))
        value.erase(i, 1);
    return value;
}

std::vector<ManifestEntry> ReadManifest(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string json = text.str();
    std::vector<ManifestEntry> entries;
    std::size_t pos = json.find("\"entries\"");
    while (pos != std::string::npos) {
        ManifestEntry e;
        e.name = JsonField(json, "name", pos);
        if (pos == std::string::npos)
            break;
        e.unpacked = static_cast<std::uint32_t>(std::stoul(JsonField(json, "unpacked", pos)));
        e.crc = static_cast<std::uint32_t>(std::stoul(JsonField(json, "crc", pos), nullptr, 16));
        e.dosTime = static_cast<std::uint32_t>(std::stoul(JsonField(json, "dostime", pos), nullptr, 16));
        e.attributes = static_cast<std::uint32_t>(std::stoul(JsonField(json, "attrs", pos), nullptr, 16));
        entries.push_back(e);
    }
    return entries;
}

std::int64_t DosTicks(std::uint32_t dos)
{
    const unsigned date = dos >> 16, time = dos & 0xFFFF;
    return qmtest::LocalTimeTicks(static_cast<int>(date >> 9) + 1980, (date >> 5) & 15, date & 31,
                                  time >> 11, (time >> 5) & 63, (time & 31) * 2);
}

std::int32_t QM_CALL AnyPassword(QmUserValue, char *buffer, const char *, std::int32_t)
{
    std::strcpy(buffer, "any");
    return 1;
}

class CorpusHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string corpus = QM_CORPUS_DIR;
        manifest = ReadManifest(corpus + "/real-lz.json");
        ASSERT_EQ(manifest.size(), 2u);
        out = fs::temp_directory_path() /
              ("quillmark-host-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(out);
        fs::create_directories(out);
        InitArcFile(LibPath(corpus + "/real-lz.qm").c_str());
        ASSERT_EQ(GetArchiveStatus(), 0);
        // The archive is plain, but a session without a data password asks once.
        SetSetCryptKeyProc(0, AnyPassword);
    }

    void TearDown() override
    {
        DoneArcFile(0);
        SetOutputPath("");
        arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
        std::error_code ec;
        fs::remove_all(out, ec);
    }

    std::uint16_t Extract(const std::vector<std::string> &masks)
    {
        FileMaskList list;
        InitFileMaskList(&list);
        for (const std::string &m : masks)
            AppendFileMask(m.c_str(), &list);
        ExtractFileMaskListArc(&list);
        DoneFileMaskList(&list);
        return GetArchiveStatus();
    }

    void ExpectFile(const fs::path &file, const ManifestEntry &e)
    {
        SCOPED_TRACE(file.string());
        ASSERT_TRUE(fs::is_regular_file(file));
        const qmpack::Bytes data = qmpack::ReadFile(file.string());
        EXPECT_EQ(data.size(), e.unpacked);
        EXPECT_EQ(qmpack::Crc32(data), e.crc);
        EXPECT_EQ(qmtest::LastWriteTicks(file), DosTicks(e.dosTime));
        EXPECT_EQ(qmtest::IsReadOnly(file), (e.attributes & 1) != 0);
    }

    std::vector<fs::path> Files() const
    {
        std::vector<fs::path> files;
        for (const auto &f : fs::recursive_directory_iterator(out))
            if (f.is_regular_file())
                files.push_back(fs::relative(f.path(), out));
        std::sort(files.begin(), files.end());
        return files;
    }

    std::vector<ManifestEntry> manifest;
    fs::path out;
};

TEST_F(CorpusHost, ExtractsEveryEntryIntoTheOutputPath)
{
    SetOutputPath(LibPath(out).c_str());
    EXPECT_EQ(Extract({}), 0);
    EXPECT_EQ(Files(), (std::vector<fs::path>{"BOAT.WAV", "LICENSE.txt"}));
    ExpectFile(out / "BOAT.WAV", manifest[0]);
    ExpectFile(out / "LICENSE.txt", manifest[1]);
}

TEST_F(CorpusHost, KeepsStoredDirectoriesWhenAsked)
{
    SetOutputPath(LibPath(out).c_str());
    arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    EXPECT_EQ(Extract({}), 0);
    EXPECT_EQ(Files(), (std::vector<fs::path>{fs::path("LICENSE.txt"), fs::path("SOUND") / "BOAT.WAV"}));
    ExpectFile(out / "SOUND" / "BOAT.WAV", manifest[0]);
    ExpectFile(out / "LICENSE.txt", manifest[1]);
}

TEST_F(CorpusHost, MasksChooseTheEntries)
{
    SetOutputPath(LibPath(out).c_str());
    EXPECT_EQ(Extract({"*.txt"}), 0);
    EXPECT_EQ(Files(), std::vector<fs::path>{"LICENSE.txt"});
    ExpectFile(out / "LICENSE.txt", manifest[1]);

    fs::remove(out / "LICENSE.txt");
    EXPECT_EQ(Extract({R"(SOUND\*.WAV)"}), 0);
    EXPECT_EQ(Files(), std::vector<fs::path>{"BOAT.WAV"});
    ExpectFile(out / "BOAT.WAV", manifest[0]);

    fs::remove(out / "BOAT.WAV");
    EXPECT_EQ(Extract({"*.ZIP"}), QM_STATUS_EMPTY_LIST);
    EXPECT_TRUE(Files().empty());
}

TEST_F(CorpusHost, ARelativePathDropsTheLeadingPartOfStoredNames)
{
    SetOutputPath(LibPath(out).c_str());
    arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    SetRelativePath("SOUND");  // after the open, which clears it
    EXPECT_EQ(Extract({R"(SOUND\*.WAV)"}), 0);
    EXPECT_EQ(Files(), std::vector<fs::path>{"BOAT.WAV"});
    ExpectFile(out / "BOAT.WAV", manifest[0]);
}

TEST_F(CorpusHost, AnOutputPathThroughTheExtraFeaturesBlock)
{
    std::vector<char> block(2048, 0);
    const std::string path = LibPath(out / "sub");
    std::strcpy(block.data() + QM_DECOMP_OUTPUT_PATH_OFFSET, path.c_str());
    SetDecompExtraFeatures(block.data());
    EXPECT_EQ(Extract({}), 0);
    ExpectFile(out / "sub" / "BOAT.WAV", manifest[0]);
    ExpectFile(out / "sub" / "LICENSE.txt", manifest[1]);
}

}  // namespace
