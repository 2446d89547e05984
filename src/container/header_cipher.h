// header_cipher.h - deciphering one enciphered header block.
//
// When an archive enciphers its header blocks, every block is single DES
// under the digest of the session's header password, and its header CRC
// tells whether the password was right.
#pragma once

#include <cstdint>

namespace qm {

// Deciphers the 432-byte block `in` into `out`; true when the result carries
// a matching header CRC.
bool DecipherHeaderBlock(std::uint8_t *out, const std::uint8_t *in);

}  // namespace qm
