// status.h - the status word a session reports through.
//
// Every operation reports failure only by writing a code into its session's
// status word; the codes are the QM_STATUS_* constants of the public header.
// The word is sticky: only the operations that say so clear it.
#pragma once

#include <cstdint>

#include "quillmark.h"

namespace qm {

using StatusWord = std::uint16_t;

}  // namespace qm
