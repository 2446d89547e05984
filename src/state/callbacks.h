// callbacks.h - the host callback registry.
//
// Ten slots, each a callback address and the user value handed back to it as
// its first argument.  All slots are empty at load.  Only four callbacks are
// ever called: SetFileNameProc, OkToReplaceProc, SetProgressProc and
// SetCryptKeyProc; the other six are registered and kept.
#pragma once

#include "quillmark.h"

namespace qm {

template <typename Proc>
struct CallbackSlot {
    Proc proc = nullptr;
    QmUserValue user = 0;
};

struct CallbackRegistry {
    CallbackSlot<SetFileNameProc> fileName;
    CallbackSlot<OkToReplaceProc> okToReplace;
    CallbackSlot<SetProgressProc> progress;
    CallbackSlot<SetCryptKeyProc> cryptKey;
    CallbackSlot<SetHeadCryptKeyProc> headCryptKey;
    CallbackSlot<SetSignalProc> signal;
    CallbackSlot<SetWarningProc> warning;
    CallbackSlot<GetNextDiskProc> nextDisk;
    CallbackSlot<SetSfxProgressProc> sfxProgress;
    CallbackSlot<SkipFileProc> skipFile;
};

// A successful open empties the addresses of seven slots (their user values
// stay): file name, progress, replace, next disk, sfx progress, crypt key and
// skip file.
void EmptySessionCallbackSlots(CallbackRegistry &callbacks);

}  // namespace qm
