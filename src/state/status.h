// status.h - the process-wide status word.
//
// Every operation reports failure only by writing a code into ArchiveStatus;
// the codes are the QM_STATUS_* constants of the public header.  The word is
// sticky: only the operations that say so clear it.
#pragma once

#include <cstdint>

#include "quillmark.h"

namespace qm {

extern std::uint16_t ArchiveStatus;

}  // namespace qm
