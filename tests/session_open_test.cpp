// Opening and closing the archive session: the signature search, the
// first-block scan, the open parameters and the state an open leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "state/callbacks.h"
#include "state/status.h"
#include "container/session.h"
#include "container/statistics.h"
#include "state/path_settings.h"
#include "quillmark.h"
#include "support/own_session.h"
#include "support/temp_dir.h"

namespace {

using qmpack::Bytes;
using qmpack::CarrierSpec;

Bytes Filler(std::size_t size, std::uint8_t seed = 0x5A)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

CarrierSpec OneEntryCarrier()
{
    CarrierSpec layout;
    layout.entries.push_back(qmpack::StoredEntry("README.TXT", Filler(300)));
    return layout;
}

// Each test opens its own session: the fixture's members named like the
// exports work on it (support/own_session.h).
class SessionOpen : public ::testing::Test, public qmtest::OwnSession {
protected:
    std::string Carrier(const CarrierSpec &layout) { return dir_.Write("carrier.bin", qmpack::BuildCarrier(layout)); }
    qmtest::TempDir dir_;
};

TEST_F(SessionOpen, SignatureAtOffsetZero)
{
    const std::string path = Carrier(OneEntryCarrier());
    InitArcFile(path.c_str());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_STREQ(S().archive.CarrierPath, path.c_str());
    EXPECT_EQ(S().archive.ArchiveBase, 10);
    EXPECT_EQ(S().archive.FirstBlockPos, 34);
    EXPECT_EQ(S().archive.HeadersEnciphered, 0);
    EXPECT_EQ(S().carrier, nullptr);  // the file is closed again
}

TEST_F(SessionOpen, PositionsBehindAPrefixAndAGap)
{
    struct Case {
        std::size_t prefix;
        std::size_t gap;
    };
    const Case cases[] = {{0, 100}, {3000, 100}, {81895, 0}, {1, 432}, {5000, 20000}};
    for (const Case &c : cases) {
        SCOPED_TRACE("prefix " + std::to_string(c.prefix) + " gap " + std::to_string(c.gap));
        CarrierSpec layout = OneEntryCarrier();
        layout.prefix = Filler(c.prefix, 1);
        layout.gap = Filler(c.gap, 2);
        const std::string path = Carrier(layout);
        InitArcFile(path.c_str());
        EXPECT_EQ(GetArchiveStatus(), 0);
        EXPECT_EQ(S().archive.ArchiveBase, static_cast<int32_t>(c.prefix + 10));
        EXPECT_EQ(S().archive.FirstBlockPos, static_cast<int32_t>(c.prefix + 34 + c.gap));
    }
}

TEST_F(SessionOpen, SignatureBeyondTheLastTestedOffsetIsNotFound)
{
    // In a carrier longer than 81,920 bytes the last offset tried is 81,895.
    CarrierSpec layout = OneEntryCarrier();
    layout.prefix = Filler(81900, 3);
    layout.trailer = Filler(4096, 4);
    InitArcFile(Carrier(layout).c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_NO_SIGNATURE);
}

TEST_F(SessionOpen, RecordsWithAWrongWordArePassedOver)
{
    CarrierSpec wrongFormat;
    wrongFormat.formatWord = 0x1541524F;
    CarrierSpec wrongMagic;
    wrongMagic.magicWord = 78;
    CarrierSpec layout = OneEntryCarrier();
    layout.prefix = Filler(17, 9);
    for (const CarrierSpec *bad : {&wrongFormat, &wrongMagic}) {
        const Bytes record = qmpack::BuildSignatureRecord(*bad);
        layout.prefix.insert(layout.prefix.end(), record.begin(), record.end());
    }
    InitArcFile(Carrier(layout).c_str());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(S().archive.ArchiveBase, static_cast<int32_t>(17 + 2 * 34 + 10));

    // With only the bad records there is no signature at all.
    CarrierSpec onlyBad = wrongMagic;
    onlyBad.prefix = qmpack::BuildSignatureRecord(wrongFormat);
    onlyBad.entries = OneEntryCarrier().entries;
    InitArcFile(Carrier(onlyBad).c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_NO_SIGNATURE);
}

TEST_F(SessionOpen, ShortCarriers)
{
    const Bytes record = qmpack::BuildSignatureRecord(CarrierSpec{});
    struct Case {
        std::size_t size;
        uint16_t status;
    };
    // Up to 24 bytes nothing is searched; from 25 on a record is found, but
    // no header block can follow it.
    const Case cases[] = {{0, QM_STATUS_NO_SIGNATURE},
                          {10, QM_STATUS_NO_SIGNATURE},
                          {24, QM_STATUS_NO_SIGNATURE},
                          {25, QM_STATUS_BAD_PASSWORD},
                          {34, QM_STATUS_BAD_PASSWORD}};
    for (const Case &c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        const Bytes bytes(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(c.size));
        const std::string path = dir_.Write("short.bin", bytes);
        InitArcFile(path.c_str());
        EXPECT_EQ(GetArchiveStatus(), c.status);
        EXPECT_STREQ(S().archive.CarrierPath, path.c_str());  // kept after a failure to read
        EXPECT_EQ(S().carrier, nullptr);
    }
}

TEST_F(SessionOpen, NoBlockWithAMatchingCrcGives9961)
{
    CarrierSpec layout = OneEntryCarrier();
    layout.entries[0].headerCrc = 0x12345678;
    InitArcFile(Carrier(layout).c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_PASSWORD);
}

TEST_F(SessionOpen, TheFirstBlockIsFoundByItsCrcNotByItsPlace)
{
    // A damaged first block is passed over and the next intact one is taken.
    CarrierSpec layout;
    layout.entries.push_back(qmpack::StoredEntry("ONE", Filler(10)));
    layout.entries.push_back(qmpack::StoredEntry("TWO", Filler(20)));
    layout.entries[0].headerCrc = 1;
    InitArcFile(Carrier(layout).c_str());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(S().archive.FirstBlockPos, 34 + 432 + 10);
}

TEST_F(SessionOpen, MissingAndUnopenablePaths)
{
    SetArchiveStatus(77);
    InitHidFile("", nullptr);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_NO_CARRIER);
    EXPECT_STREQ(S().archive.CarrierPath, "");

    InitHidFile(nullptr, nullptr);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_NO_CARRIER);

    InitArcFile(dir_.File("nothing-here.bin").c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_NO_CARRIER);
    EXPECT_STREQ(S().archive.CarrierPath, "");

    // A path longer than the carrier path field is not cut short to some
    // other file's name: it does not exist.
    const std::string longPath = dir_.File(std::string(300, 'A'));
    InitArcFile(longPath.c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_NO_CARRIER);
    EXPECT_STREQ(S().archive.CarrierPath, "");

    // A directory exists but cannot be opened as a file.
    const std::string sub = dir_.File("folder");
    std::filesystem::create_directory(sub);
    InitArcFile(sub.c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_CANNOT_OPEN);
    EXPECT_STREQ(S().archive.CarrierPath, sub.c_str());
}

TEST_F(SessionOpen, FileExists)
{
    const std::string file = dir_.Write("there.bin", Bytes{1});
    EXPECT_TRUE(qm::FileExists(file.c_str()));
    EXPECT_TRUE(qm::FileExists(dir_.path().string().c_str()));
    EXPECT_FALSE(qm::FileExists(""));
    EXPECT_FALSE(qm::FileExists(nullptr));
    EXPECT_FALSE(qm::FileExists(dir_.File("gone.bin").c_str()));
}

TEST_F(SessionOpen, CallbackSlotsAreEmptiedOnSuccessOnly)
{
    auto fill = [this] {
        const QmUserValue u = 1000;
        SetSetFileNameProc(u + 1, [](QmUserValue, const char *, char *) -> int32_t { return 0; });
        SetOkToReplaceProc(u + 2, [](QmUserValue, WIN32_FIND_DATAA *, WIN32_FIND_DATAA *) -> int32_t { return 0; });
        SetSetProgressProc(u + 3, [](QmUserValue, int32_t, int32_t) -> int32_t { return 1; });
        SetSetCryptKeyProc(u + 4, [](QmUserValue, char *, const char *, int32_t) -> int32_t { return 0; });
        SetSetHeadCryptKeyProc(u + 5, [](QmUserValue) -> int32_t { return 0; });
        SetSetSignalProc(u + 6, [](QmUserValue) -> int32_t { return 0; });
        SetSetWarningProc(u + 7, [](QmUserValue) -> int32_t { return 0; });
        SetGetNextDiskProc(u + 8, [](QmUserValue) -> int32_t { return 0; });
        SetSetSfxProgressProc(u + 9, [](QmUserValue) -> int32_t { return 0; });
        SetSkipFileProc(u + 10, [](QmUserValue) -> int32_t { return 0; });
    };
    fill();
    const qm::CallbackRegistry before = S().callbacks;

    // Failed opens, each of its own kind, clear nothing.
    CarrierSpec noBlock = OneEntryCarrier();
    noBlock.entries[0].headerCrc = 0;
    const std::string failing[] = {"", dir_.path().string(), dir_.Write("junk.bin", Filler(100)),
                                   Carrier(noBlock)};
    for (const std::string &path : failing) {
        InitArcFile(path.c_str());
        EXPECT_NE(GetArchiveStatus(), 0);
        EXPECT_EQ(std::memcmp(&S().callbacks, &before, sizeof before), 0) << path;
    }

    InitArcFile(Carrier(OneEntryCarrier()).c_str());
    ASSERT_EQ(GetArchiveStatus(), 0);
    const qm::CallbackRegistry &c = S().callbacks;
    EXPECT_EQ(c.fileName.proc, nullptr);
    EXPECT_EQ(c.okToReplace.proc, nullptr);
    EXPECT_EQ(c.progress.proc, nullptr);
    EXPECT_EQ(c.cryptKey.proc, nullptr);
    EXPECT_EQ(c.nextDisk.proc, nullptr);
    EXPECT_EQ(c.sfxProgress.proc, nullptr);
    EXPECT_EQ(c.skipFile.proc, nullptr);
    EXPECT_EQ(c.headCryptKey.proc, before.headCryptKey.proc);
    EXPECT_EQ(c.signal.proc, before.signal.proc);
    EXPECT_EQ(c.warning.proc, before.warning.proc);
    // Every user value stays.
    const QmUserValue users[] = {c.fileName.user, c.okToReplace.user, c.progress.user,
                                 c.cryptKey.user, c.headCryptKey.user, c.signal.user,
                                 c.warning.user, c.nextDisk.user, c.sfxProgress.user,
                                 c.skipFile.user};
    const QmUserValue expected[] = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(users[i], expected[i]);
}

TEST_F(SessionOpen, OpenParametersAndWhatAnOpenClears)
{
    const std::string path = Carrier(OneEntryCarrier());
    ArcOpenParams params{};
    params.dataCipherMethod = 1;
    params.headersEnciphered = 0;
    std::strcpy(params.dataPassword, "data secret");
    std::strcpy(params.headerPassword, "head secret");
    std::strcpy(S().paths.relative, "OLD\\");
    std::strcpy(S().paths.output, "C:\\OUT\\");
    SetArchiveStatus(9906);

    InitHidFile(path.c_str(), &params);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(S().archive.SessionCipher, 1);
    EXPECT_STREQ(S().archive.DataPassword, "data secret");
    EXPECT_STREQ(S().archive.HeaderPassword, "head secret");
    EXPECT_STREQ(S().paths.relative, "");
    EXPECT_STREQ(S().paths.output, "C:\\OUT\\");  // not the session's
    std::memset(S().paths.output, 0, sizeof S().paths.output);

    // A new open replaces both passwords; an empty header password is not taken.
    std::memset(params.headerPassword, 0, sizeof params.headerPassword);
    std::memset(params.dataPassword, 'x', sizeof params.dataPassword);  // no NUL: cut to 255
    InitHidFile(path.c_str(), &params);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(std::strlen(S().archive.DataPassword), 255u);
    EXPECT_STREQ(S().archive.HeaderPassword, "");

    // InitArcFile: no passwords, cipher 0, statistics cleared.
    S().statistics.entryCount = 5;
    S().statistics.constant20 = 20;
    InitArcFile(path.c_str());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(S().archive.SessionCipher, 0);
    EXPECT_STREQ(S().archive.DataPassword, "");
    const ArcExtraInfo zero{};
    EXPECT_EQ(std::memcmp(&S().statistics, &zero, sizeof zero), 0);

    // InitHidFile leaves the statistics alone.
    S().statistics.entryCount = 5;
    InitHidFile(path.c_str(), &params);
    EXPECT_EQ(S().statistics.entryCount, 5);
}

TEST_F(SessionOpen, BlocksMarkedEncipheredMustDecipher)
{
    // The header blocks here are plain, but the archive (or the opener) says
    // they are enciphered: deciphering them yields no matching CRC, and with
    // no callback to ask the open fails with 9961.
    CarrierSpec flagged = OneEntryCarrier();
    flagged.flags = 1;
    InitArcFile(Carrier(flagged).c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_PASSWORD);
    EXPECT_EQ(S().archive.HeadersEnciphered, 1);

    ArcOpenParams forced{};
    forced.headersEnciphered = 1;
    InitHidFile(Carrier(OneEntryCarrier()).c_str(), &forced);
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_PASSWORD);

    // Other flag bits and other values of the parameter word mean nothing.
    CarrierSpec otherBits = OneEntryCarrier();
    otherBits.flags = 0xFFFFFFFEu;
    forced.headersEnciphered = 2;
    InitHidFile(Carrier(otherBits).c_str(), &forced);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(S().archive.HeadersEnciphered, 2);
}

TEST_F(SessionOpen, DoneClearsTheCarrierAndInputPathsOnly)
{
    const std::string path = Carrier(OneEntryCarrier());
    ArcOpenParams params{};
    std::strcpy(params.dataPassword, "pw");
    InitHidFile(path.c_str(), &params);
    ASSERT_EQ(GetArchiveStatus(), 0);
    std::strcpy(S().paths.input, "C:\\IN\\");
    std::strcpy(S().paths.relative, "REL\\");
    const int32_t first = S().archive.FirstBlockPos;

    DoneArcFile(12345);
    EXPECT_STREQ(S().archive.CarrierPath, "");
    EXPECT_STREQ(S().paths.input, "");
    EXPECT_STREQ(S().paths.relative, "REL\\");
    EXPECT_STREQ(S().archive.DataPassword, "pw");
    EXPECT_EQ(S().archive.FirstBlockPos, first);

    InitHidFile(path.c_str(), &params);
    std::strcpy(S().paths.input, "C:\\IN\\");
    DoneHidFile(0);
    EXPECT_STREQ(S().archive.CarrierPath, "");
    EXPECT_STREQ(S().paths.input, "");
}

TEST_F(SessionOpen, RealCarrierFromTheCorpus)
{
    // Positions from real-lz.json.
    InitArcFile(qmtest::CorpusFile("real-lz.qm").c_str());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(S().archive.ArchiveBase, 3000 + 10);
    EXPECT_EQ(S().archive.FirstBlockPos, 3134);
}

}  // namespace
