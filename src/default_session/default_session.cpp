// default_session.cpp - the process-wide session of the exports.
#include "default_session/default_session.h"

namespace qm {

namespace {

// Static storage, as the exports' state always was: a fresh session (status
// 0, options 0x0800, no callbacks, empty paths) when the library is loaded.
ExportSession TheDefaultSession;

}  // namespace

ExportSession &DefaultSession() { return TheDefaultSession; }

}  // namespace qm
