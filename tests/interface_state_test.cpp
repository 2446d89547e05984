// The status word, the option word, the callback registry and the
// not-supported group, through the exports.
#include <gtest/gtest.h>

#include <cstring>

#include "default_session/default_session.h"
#include "quillmark.h"

namespace {

// The exports work on the process's default session; these tests look at it
// behind them.
qm::ExportSession &S() { return qm::DefaultSession(); }

class InterfaceState : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = S().options;
        S().options = QM_OPTIONS_AT_LOAD;
        SetArchiveStatus(0);
    }
    void TearDown() override
    {
        S().options = saved_;
        S().callbacks = qm::CallbackRegistry{};
        SetArchiveStatus(0);
    }
    uint16_t saved_ = 0;
};

TEST_F(InterfaceState, OptionWordKeepsTheLockedBit)
{
    EXPECT_EQ(S().options, 0x0800);
    arOptionsOn(0xFFFF);
    EXPECT_EQ(S().options, 0x7FFF);
    arOptionsOff(0xFFFF);
    EXPECT_EQ(S().options, 0x0000);
}

TEST_F(InterfaceState, OptionsAreOnTestsEveryGivenBit)
{
    EXPECT_EQ(arOptionsAreOn(0), 1);
    EXPECT_EQ(arOptionsAreOn(0x8000), 0);
    EXPECT_EQ(arOptionsAreOn(0x0801), 0);
    arOptionsOn(1);
    EXPECT_EQ(arOptionsAreOn(0x0801), 1);
    arOptionsOn(0x8000);
    EXPECT_EQ(arOptionsAreOn(0x8000), 0);
}

TEST_F(InterfaceState, StatusWordIsReadAndWritten)
{
    SetArchiveStatus(9964);
    EXPECT_EQ(GetArchiveStatus(), 9964);
    SetArchiveStatus(0);
    EXPECT_EQ(GetArchiveStatus(), 0);
}

TEST_F(InterfaceState, EveryStubSetsNotSupportedAndNothingElse)
{
    using Stub = void(QM_CALL *)(void);
    const Stub stubs[] = {AddDamageAegixArc, BuildUnDamagedArc, CompressFileMaskListArc,
                          CreateArcFile, CreateArcSfx2, CreateDirectoryArc, CreateExeArc,
                          DeleteFileMaskListArc, SetFileCommentsArc, SetMainCommentArc,
                          StripDamageAegixArc, TestArc};
    arOptionsOn(1);
    const uint16_t options = S().options;
    for (Stub stub : stubs) {
        SetArchiveStatus(0);
        stub();
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_NOT_SUPPORTED);
        EXPECT_EQ(S().options, options);
    }
}

TEST_F(InterfaceState, MainCommentRecordIsZeroed)
{
    uint32_t words[3] = {0xDEADBEEF, 0x12345678, 0xCAFEF00D};
    GetMainCommentArc(words);
    EXPECT_EQ(words[0], 0u);
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(words[2], 0xCAFEF00Du);
}

int32_t QM_CALL ProgressA(QmUserValue, int32_t, int32_t) { return 1; }
int32_t QM_CALL ProgressB(QmUserValue, int32_t, int32_t) { return 1; }

TEST_F(InterfaceState, RegisteringReplacesAndNullEmpties)
{
    SetSetProgressProc(7, ProgressA);
    SetSetProgressProc(9, ProgressB);
    EXPECT_EQ(S().callbacks.progress.proc, &ProgressB);
    EXPECT_EQ(S().callbacks.progress.user, 9u);
    SetSetProgressProc(3, nullptr);
    EXPECT_EQ(S().callbacks.progress.proc, nullptr);
    EXPECT_EQ(S().callbacks.progress.user, 3u);
}

TEST_F(InterfaceState, SessionOpenEmptiesSevenSlotsAndKeepsUserValues)
{
    auto never = [](QmUserValue) -> int32_t { return 0; };
    SetSetFileNameProc(1, [](QmUserValue, const char *, char *) -> int32_t { return 0; });
    SetOkToReplaceProc(2, [](QmUserValue, WIN32_FIND_DATAA *, WIN32_FIND_DATAA *) -> int32_t { return 0; });
    SetSetProgressProc(3, ProgressA);
    SetSetCryptKeyProc(4, [](QmUserValue, char *, const char *, int32_t) -> int32_t { return 0; });
    SetSetHeadCryptKeyProc(5, never);
    SetSetSignalProc(6, never);
    SetSetWarningProc(7, never);
    SetGetNextDiskProc(8, never);
    SetSetSfxProgressProc(9, never);
    SetSkipFileProc(10, never);

    qm::EmptySessionCallbackSlots(S().callbacks);

    const auto &c = S().callbacks;
    EXPECT_EQ(c.fileName.proc, nullptr);
    EXPECT_EQ(c.okToReplace.proc, nullptr);
    EXPECT_EQ(c.progress.proc, nullptr);
    EXPECT_EQ(c.cryptKey.proc, nullptr);
    EXPECT_EQ(c.nextDisk.proc, nullptr);
    EXPECT_EQ(c.sfxProgress.proc, nullptr);
    EXPECT_EQ(c.skipFile.proc, nullptr);
    EXPECT_NE(c.headCryptKey.proc, nullptr);
    EXPECT_NE(c.signal.proc, nullptr);
    EXPECT_NE(c.warning.proc, nullptr);
    const QmUserValue users[] = {c.fileName.user, c.okToReplace.user, c.progress.user,
                                 c.cryptKey.user, c.headCryptKey.user, c.signal.user,
                                 c.warning.user, c.nextDisk.user, c.sfxProgress.user,
                                 c.skipFile.user};
    for (QmUserValue i = 0; i < 10; ++i)
        EXPECT_EQ(users[i], i + 1);
}

}  // namespace
