// options.h - the option word.
//
// The word is 0x0800 when a session starts.  Bits of the lock mask (0x8000)
// can be neither set nor cleared, so bit 15 always reads 0.  Bit 1 is the
// keep-directories option, the only bit the library tests itself.
#pragma once

#include <cstdint>

#include "quillmark.h"

namespace qm {

constexpr std::uint16_t kOptionLockMask = QM_OPTIONS_LOCK_MASK;

// True when every given bit is set in the word (true for no bits at all).
inline bool OptionsAreOn(std::uint16_t options, std::uint16_t bits) { return (options & bits) == bits; }

// The word with the given bits set, or cleared, except those of the lock mask.
inline std::uint16_t OptionsWithBitsOn(std::uint16_t options, std::uint16_t bits)
{
    return static_cast<std::uint16_t>(options | (bits & ~kOptionLockMask));
}
inline std::uint16_t OptionsWithBitsOff(std::uint16_t options, std::uint16_t bits)
{
    return static_cast<std::uint16_t>(options & ~(bits & ~kOptionLockMask));
}

}  // namespace qm
