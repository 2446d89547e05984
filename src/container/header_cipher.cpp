// header_cipher.cpp - placeholder until header deciphering lands: no
// enciphered block is accepted, so an archive whose header blocks are
// enciphered does not open (9961) and a walk over such blocks ends at once.
#include "container/header_cipher.h"

namespace qm {

bool DecipherHeaderBlock(std::uint8_t *, const std::uint8_t *) { return false; }

}  // namespace qm
