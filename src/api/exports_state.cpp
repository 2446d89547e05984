// exports_state.cpp - exports over the status word, the option word, the
// callback registry, and the not-supported group.
#include <cstring>

#include "default_session/default_session.h"
#include "quillmark.h"

using namespace qm;

// ---- the twelve creation and modification exports -----------------------------

#define QM_NOT_SUPPORTED_EXPORT(name) \
    extern "C" QM_API void QM_CALL name(void) { DefaultSession().status = QM_STATUS_NOT_SUPPORTED; }

QM_NOT_SUPPORTED_EXPORT(AddDamageAegixArc)
QM_NOT_SUPPORTED_EXPORT(BuildUnDamagedArc)
QM_NOT_SUPPORTED_EXPORT(CompressFileMaskListArc)
QM_NOT_SUPPORTED_EXPORT(CreateArcFile)
QM_NOT_SUPPORTED_EXPORT(CreateArcSfx2)
QM_NOT_SUPPORTED_EXPORT(CreateDirectoryArc)
QM_NOT_SUPPORTED_EXPORT(CreateExeArc)
QM_NOT_SUPPORTED_EXPORT(DeleteFileMaskListArc)
QM_NOT_SUPPORTED_EXPORT(SetFileCommentsArc)
QM_NOT_SUPPORTED_EXPORT(SetMainCommentArc)
QM_NOT_SUPPORTED_EXPORT(StripDamageAegixArc)
QM_NOT_SUPPORTED_EXPORT(TestArc)

// ---- status ---------------------------------------------------------------------

extern "C" QM_API uint16_t QM_CALL GetArchiveStatus(void) { return DefaultSession().status; }

extern "C" QM_API void QM_CALL SetArchiveStatus(uint16_t status) { DefaultSession().status = status; }

// ---- options ----------------------------------------------------------------------

extern "C" QM_API uint8_t QM_CALL arOptionsAreOn(uint16_t bits) {
    return OptionsAreOn(DefaultSession().options, bits) ? 1 : 0;
}

extern "C" QM_API void QM_CALL arOptionsOff(uint16_t bits)
{
    std::uint16_t &options = DefaultSession().options;
    options = OptionsWithBitsOff(options, bits);
}

extern "C" QM_API void QM_CALL arOptionsOn(uint16_t bits)
{
    std::uint16_t &options = DefaultSession().options;
    options = OptionsWithBitsOn(options, bits);
}

// ---- callback registration ----------------------------------------------------------

#define QM_REGISTER_EXPORT(name, type, slot)                              \
    extern "C" QM_API void QM_CALL name(QmUserValue user, type proc)      \
    {                                                                     \
        auto &registered = DefaultSession().callbacks.slot;               \
        registered.user = user;                                           \
        registered.proc = proc;                                           \
    }

QM_REGISTER_EXPORT(SetSetFileNameProc, SetFileNameProc, fileName)
QM_REGISTER_EXPORT(SetOkToReplaceProc, OkToReplaceProc, okToReplace)
QM_REGISTER_EXPORT(SetSetProgressProc, SetProgressProc, progress)
QM_REGISTER_EXPORT(SetSetCryptKeyProc, SetCryptKeyProc, cryptKey)
QM_REGISTER_EXPORT(SetSetHeadCryptKeyProc, SetHeadCryptKeyProc, headCryptKey)
QM_REGISTER_EXPORT(SetSetSignalProc, SetSignalProc, signal)
QM_REGISTER_EXPORT(SetSetWarningProc, SetWarningProc, warning)
QM_REGISTER_EXPORT(SetGetNextDiskProc, GetNextDiskProc, nextDisk)
QM_REGISTER_EXPORT(SetSetSfxProgressProc, SetSfxProgressProc, sfxProgress)
QM_REGISTER_EXPORT(SetSkipFileProc, SkipFileProc, skipFile)

// ---- the comment record: the library holds no archive comment ---------------------------

extern "C" QM_API void QM_CALL GetMainCommentArc(uint32_t *twoWords)
{
    twoWords[0] = 0;
    twoWords[1] = 0;
}

extern "C" QM_API void QM_CALL SetCompExtraFeatures(void) {}
