// default_session.h - the one session the 49 exports work on.
//
// The exports keep their model of one archive session per process, with its
// state living as long as the library is loaded.  That state is one
// ExportSession, made here and reached only by the exports (src/api); the
// rest of the library takes a session as a parameter and keeps none of its
// own.
#pragma once

#include "extract/export_session.h"

namespace qm {

ExportSession &DefaultSession();

}  // namespace qm
