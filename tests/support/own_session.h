// own_session.h - a test's own session, fresh for every test, and the exports
// over it.
//
// A fixture that derives from OwnSession gets a new ExportSession (a library
// just loaded: status 0, options 0x0800, no callbacks, empty paths, nothing
// open) and members named like the exports that work on it, so a test body
// reads as a host's calls while its state stays apart from the process's
// default session and from every other test.  S() is the session itself, for
// looking at what the exports do not show.
#pragma once

#include <cstdint>
#include <memory>

#include "container/lists.h"
#include "extract/driver.h"
#include "extract/export_session.h"
#include "paths/masks.h"
#include "paths/path_setters.h"
#include "quillmark.h"

namespace qmtest {

class OwnSession {
public:
    qm::ExportSession &S() { return *session_; }

    // ---- session, status, options
    void InitArcFile(const char *path) { qm::InitArcFile(S(), path); }
    void InitHidFile(const char *path, const ArcOpenParams *params) { qm::InitHidFile(S(), path, params); }
    void DoneArcFile(std::uint32_t) { qm::DoneHidFile(S()); }
    void DoneHidFile(std::uint32_t) { qm::DoneHidFile(S()); }
    std::uint16_t GetArchiveStatus() { return S().status; }
    void SetArchiveStatus(std::uint16_t status) { S().status = status; }
    std::uint8_t arOptionsAreOn(std::uint16_t bits) { return qm::OptionsAreOn(S().options, bits) ? 1 : 0; }
    void arOptionsOn(std::uint16_t bits) { S().options = qm::OptionsWithBitsOn(S().options, bits); }
    void arOptionsOff(std::uint16_t bits) { S().options = qm::OptionsWithBitsOff(S().options, bits); }

    // ---- paths
    void SetOutputPath(const char *path) { qm::SetOutputPath(S().paths, path); }
    void SetInputPath(const char *path) { qm::SetInputPath(S().paths, path); }
    void SetRelativePath(const char *path) { qm::SetRelativePath(S().paths, path); }
    void SetDecompExtraFeatures(const void *block) { qm::SetDecompExtraFeatures(S().paths, block); }

    // ---- masks, lists, extraction
    std::uint8_t AppendFileMask(const char *mask, FileMaskList *list)
    {
        return qm::AppendFileMask(S().status, mask, list) ? 1 : 0;
    }
    void BuildArcFileList(ArcFileList *list, const FileMaskList *masks) { qm::BuildArcFileList(S(), list, masks); }
    std::int32_t BuildHidFileList(HidFileList *list, const FileMaskList *masks)
    {
        return qm::BuildHidFileList(S(), list, masks);
    }
    void GetExtraInfoArc(ArcExtraInfo *info) { qm::GetExtraInfoArc(S(), info); }
    void ExtractFileMaskListHid(const FileMaskList *masks) { qm::ExtractFileMaskListHid(S(), masks); }
    void ExtractFileMaskListArc(const FileMaskList *masks)
    {
        S().status = QM_STATUS_OK;
        qm::ExtractFileMaskListHid(S(), masks);
    }

    // ---- callback registration
    void SetSetFileNameProc(QmUserValue user, SetFileNameProc proc) { S().callbacks.fileName = {proc, user}; }
    void SetOkToReplaceProc(QmUserValue user, OkToReplaceProc proc) { S().callbacks.okToReplace = {proc, user}; }
    void SetSetProgressProc(QmUserValue user, SetProgressProc proc) { S().callbacks.progress = {proc, user}; }
    void SetSetCryptKeyProc(QmUserValue user, SetCryptKeyProc proc) { S().callbacks.cryptKey = {proc, user}; }
    void SetSetHeadCryptKeyProc(QmUserValue user, SetHeadCryptKeyProc proc)
    {
        S().callbacks.headCryptKey = {proc, user};
    }
    void SetSetSignalProc(QmUserValue user, SetSignalProc proc) { S().callbacks.signal = {proc, user}; }
    void SetSetWarningProc(QmUserValue user, SetWarningProc proc) { S().callbacks.warning = {proc, user}; }
    void SetGetNextDiskProc(QmUserValue user, GetNextDiskProc proc) { S().callbacks.nextDisk = {proc, user}; }
    void SetSetSfxProgressProc(QmUserValue user, SetSfxProgressProc proc)
    {
        S().callbacks.sfxProgress = {proc, user};
    }
    void SetSkipFileProc(QmUserValue user, SkipFileProc proc) { S().callbacks.skipFile = {proc, user}; }

private:
    std::unique_ptr<qm::ExportSession> session_ = std::make_unique<qm::ExportSession>();
};

}  // namespace qmtest
