#include "state/callbacks.h"

namespace qm {

CallbackRegistry Callbacks;

void EmptySessionCallbackSlots()
{
    Callbacks.fileName.proc = nullptr;
    Callbacks.progress.proc = nullptr;
    Callbacks.okToReplace.proc = nullptr;
    Callbacks.nextDisk.proc = nullptr;
    Callbacks.sfxProgress.proc = nullptr;
    Callbacks.cryptKey.proc = nullptr;
    Callbacks.skipFile.proc = nullptr;
}

}  // namespace qm
