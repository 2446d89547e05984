// Carriers that are not small plain files: special files that must not be
// read (a FIFO would block the open, a device would never end), a file the
// user may not read, and a sparse carrier larger than the 2 GiB that header
// positions can reach.  Each ends in a clear status, without hanging.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "extract_test_support.h"
#include "packer/carrier_writer.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using qmpack::Bytes;
using qmtest::LibPath;

namespace {

Bytes Pattern(std::size_t size, std::uint8_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 7));
    return b;
}

std::vector<std::string> ListNames()
{
    FileMaskList masks;
    InitFileMaskList(&masks);
    ArcFileList list;
    InitArcFileList(&list);
    BuildArcFileList(&list, &masks);
    std::vector<std::string> names;
    for (const ArcFileItem *item = list.first; item; item = item->next)
        names.push_back(item->name);
    DoneArcFileList(&list);
    DoneFileMaskList(&masks);
    return names;
}

std::int32_t QM_CALL AnyPassword(QmUserValue, char *buffer, const char *, std::int32_t)
{
    std::strcpy(buffer, "x");
    return 1;
}

TEST(CarrierKinds, SpecialAndUnreadableFilesAreRefusedWithoutBlocking)
{
    qmtest::TempDir dir;
    qmpack::CarrierSpec layout;
    layout.entries.push_back(qmpack::StoredEntry("A.TXT", Pattern(50, 1)));
    const std::string carrier = dir.Write("carrier.qm", qmpack::BuildCarrier(layout));
    struct Case {
        const char *name;
        std::string path;      // empty: the case does not apply here
        std::uint16_t status;  // of the open
    };
    std::vector<Case> cases;
    const std::string folder = dir.File("folder");
    fs::create_directory(folder);
    cases.push_back({"directory", folder, QM_STATUS_CANNOT_OPEN});
    cases.push_back({"empty file", dir.Write("empty.qm", {}), QM_STATUS_NO_SIGNATURE});
#ifdef _WIN32
    // A device name opens the device, not a file: the null device (which
    // would read as empty) is refused as not being a file on disk.
    cases.push_back({"null device", "NUL", QM_STATUS_CANNOT_OPEN});
#else
    // Opening a FIFO for reading waits for a writer, which never comes.
    const std::string fifo = dir.File("fifo.qm");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({"fifo", fifo, QM_STATUS_CANNOT_OPEN});
    cases.push_back({"character device", "/dev/zero", QM_STATUS_CANNOT_OPEN});
    // Permissions bind only an unprivileged user; the suites usually run as root.
    const std::string locked = dir.Write("locked.qm", qmpack::ReadFile(carrier));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    if (geteuid() != 0)
        cases.push_back({"no read permission", locked, QM_STATUS_CANNOT_OPEN});
#endif
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        InitArcFile(c.path.c_str());
        EXPECT_EQ(GetArchiveStatus(), c.status);
        DoneArcFile(0);
    }

#ifndef _WIN32
    // A carrier that becomes a FIFO after the open: the list build and the
    // extraction reopen it by path, and must not block either.
    InitArcFile(carrier.c_str());
    ASSERT_EQ(GetArchiveStatus(), 0);
    fs::remove(carrier);
    ASSERT_EQ(mkfifo(carrier.c_str(), 0600), 0);
    EXPECT_TRUE(ListNames().empty());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_CANNOT_OPEN);
    SetOutputPath(LibPath(dir.path()).c_str());
    FileMaskList masks;
    InitFileMaskList(&masks);
    ExtractFileMaskListArc(&masks);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_CANNOT_OPEN);
    DoneFileMaskList(&masks);
    SetOutputPath("");
    DoneArcFile(0);
    EXPECT_FALSE(fs::exists(dir.path() / "A.TXT"));
#endif
}

TEST(CarrierKinds, SparseCarrierOfThreeGibibytes)
{
    // A 3 GiB carrier, nearly all hole: block 1 and its data at the start;
    // block 2 holds a packed size that puts block 3 at 2 GiB - 1000; block 3's
    // data runs across the 2 GiB mark, so its successor would lie past the
    // largest offset a header position can hold and the walk ends there,
    // before the valid block that does lie at that place.
    constexpr std::int64_t kTwoGiB = std::int64_t{1} << 31;
    constexpr std::int64_t kThirdBlock = kTwoGiB - 1000;
    const Bytes first = Pattern(100, 2), edge = Pattern(1000, 3), beyond = Pattern(20, 4);

    qmpack::CarrierSpec head;
    head.entries.push_back(qmpack::StoredEntry("FIRST.BIN", first));
    qmpack::EntrySpec hole = qmpack::StoredEntry("HOLE.BIN", {});
    const std::int64_t holeData = qmpack::kSignatureRecordSize + 2 * qmpack::kHeaderBlockSize + first.size();
    hole.packedSize = static_cast<std::int32_t>(kThirdBlock - holeData);
    hole.unpackedSize = *hole.packedSize;
    head.entries.push_back(hole);
    const Bytes headBytes = qmpack::BuildCarrier(head);
    ASSERT_EQ(static_cast<std::int64_t>(headBytes.size()), holeData);

    const auto blockWithData = [](const qmpack::EntrySpec &e) {
        const auto block = qmpack::BuildHeaderBlock(e);
        Bytes b(block.begin(), block.end());
        b.insert(b.end(), e.stored.begin(), e.stored.end());
        return b;
    };
    const Bytes edgeBytes = blockWithData(qmpack::StoredEntry("EDGE.BIN", edge));
    const Bytes beyondBytes = blockWithData(qmpack::StoredEntry("BEYOND.BIN", beyond));

    qmtest::TempDir dir;
    const std::string path = dir.File("sparse.qm");
    {
        std::FILE *f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const auto put = [f](std::int64_t at, const Bytes &bytes) {
#ifdef _WIN32
            return _fseeki64(f, at, SEEK_SET) == 0 &&
#else
            return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 &&
#endif
                   std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        };
        ASSERT_TRUE(put(0, headBytes));
        ASSERT_TRUE(put(kThirdBlock, edgeBytes));
        ASSERT_TRUE(put(kThirdBlock + static_cast<std::int64_t>(edgeBytes.size()), beyondBytes));
        ASSERT_EQ(std::fclose(f), 0);
    }
    fs::resize_file(path, std::uintmax_t{3} << 30);

    InitArcFile(LibPath(path).c_str());
    ASSERT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"FIRST.BIN", "HOLE.BIN", "EDGE.BIN"}));
    EXPECT_EQ(GetArchiveStatus(), 0);

    // The entries on both sides of the hole extract with their bytes.
    const fs::path out = dir.path() / "out";
    fs::create_directory(out);
    SetOutputPath(LibPath(out).c_str());
    SetSetCryptKeyProc(0, AnyPassword);
    FileMaskList masks;
    InitFileMaskList(&masks);
    AppendFileMask("FIRST.BIN", &masks);
    AppendFileMask("EDGE.BIN", &masks);
    ExtractFileMaskListArc(&masks);
    EXPECT_EQ(GetArchiveStatus(), 0);
    DoneFileMaskList(&masks);
    SetSetCryptKeyProc(0, nullptr);
    SetOutputPath("");
    DoneArcFile(0);
    EXPECT_EQ(qmpack::ReadFile((out / "FIRST.BIN").string()), first);
    EXPECT_EQ(qmpack::ReadFile((out / "EDGE.BIN").string()), edge);
    EXPECT_FALSE(fs::exists(out / "HOLE.BIN"));
}

}  // namespace
