// export_session.h - everything one run of the legacy interface works on.
//
// An ExportSession is the host's settings and the open archive
// (CarrierSession) together with what an extraction run moves: the transfer
// state of the current entry, the data cipher's key state and the stream
// decoder.  The exports work on one process-wide instance; a test or a tool
// may make its own, and two sessions share nothing.
//
// The decoder makes the object large (about 170 KB): make it on the heap or
// as static storage, not on a stack.
#pragma once

#include "container/session.h"
#include "crypto/cipher.h"
#include "extract/transfer_state.h"
#include "unpack/stream_decoder.h"

namespace qm {

struct ExportSession : CarrierSession {
    TransferState transfer;
    DataCipher cipher;
    StreamDecoder decoder{};
};

}  // namespace qm
