// callbacks.cpp - emptying the slots that belong to an open archive.
#include "state/callbacks.h"

namespace qm {

void EmptySessionCallbackSlots(CallbackRegistry &callbacks)
{
    callbacks.fileName.proc = nullptr;
    callbacks.progress.proc = nullptr;
    callbacks.okToReplace.proc = nullptr;
    callbacks.nextDisk.proc = nullptr;
    callbacks.sfxProgress.proc = nullptr;
    callbacks.cryptKey.proc = nullptr;
    callbacks.skipFile.proc = nullptr;
}

}  // namespace qm
