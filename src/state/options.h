// options.h - the process-wide option word.
//
// arOptions is 0x0800 when the library is loaded.  Bits of the lock mask
// (0x8000) can be neither set nor cleared, so bit 15 always reads 0.  Bit 1 is
// the keep-directories option, the only bit the library tests itself.
#pragma once

#include <cstdint>

#include "quillmark.h"

namespace qm {

extern std::uint16_t arOptions;

constexpr std::uint16_t kOptionLockMask = QM_OPTIONS_LOCK_MASK;

// True when every given bit is set (true for no bits at all).
inline bool OptionsAreOn(std::uint16_t bits) { return (arOptions & bits) == bits; }

}  // namespace qm
