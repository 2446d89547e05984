// Hostile carriers kept in the shared regression folder, replayed through the
// exports as a host drives them: each ends in its status, writes no more
// than its real input can account for, and leaves nothing on disk.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "extract_test_support.h"
#include "quillmark.h"

namespace fs = std::filesystem;
using qmtest::LibPath;

namespace {

std::int64_t g_bytesWritten = 0;

std::int32_t QM_CALL CountBytes(QmUserValue, std::int32_t, std::int32_t count)
{
    g_bytesWritten += count;
    return 1;
}

// The entry is plain, but a session without a data password asks once.
std::int32_t QM_CALL AnyPassword(QmUserValue, char *buffer, const char *, std::int32_t)
{
    buffer[0] = 'x';
    buffer[1] = '\0';
    return 1;
}

TEST(RegressHost, DecoderOverrunEndsWithTheRealPackedData)
{
    // 1,631 bytes whose one compressed entry declares 1,819,438,967 bytes
    // unpacked and far more packed bytes than the file holds.  The stream must
    // end once its real bytes are used up: no symbol yields more than 260
    // bytes and each takes at least one bit, so the writes are bounded by
    // 260 bytes a bit of the file, against the 1.8 GB declared.
    const fs::path carrier = fs::path(QM_REGRESS_DIR) / "decoder-overrun.qm";
    ASSERT_TRUE(fs::is_regular_file(carrier));
    const std::int64_t bound = static_cast<std::int64_t>(fs::file_size(carrier)) * 8 * 260;

    const fs::path out = fs::temp_directory_path() /
                         ("quillmark-regress-" +
                          std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(out);
    fs::create_directories(out);

    InitArcFile(LibPath(carrier).c_str());
    ASSERT_EQ(GetArchiveStatus(), 0);
    SetSetProgressProc(0, CountBytes);
    SetSetCryptKeyProc(0, AnyPassword);
    SetOutputPath(LibPath(out).c_str());
    g_bytesWritten = 0;
    FileMaskList masks;
    InitFileMaskList(&masks);
    ExtractFileMaskListArc(&masks);
    const std::uint16_t status = GetArchiveStatus();
    DoneFileMaskList(&masks);
    DoneArcFile(0);
    SetOutputPath("");
    SetSetProgressProc(0, nullptr);
    SetSetCryptKeyProc(0, nullptr);

    EXPECT_EQ(status, 9962);
    EXPECT_LE(g_bytesWritten, bound);
    EXPECT_TRUE(fs::is_empty(out));
    std::error_code ec;
    fs::remove_all(out, ec);
}

}  // namespace
