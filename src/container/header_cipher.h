// header_cipher.h - deciphering one enciphered header block.
//
// When an archive enciphers its header blocks, every block is single DES
// under the digest of the session's header password, and its header CRC
// tells whether the password was right.  A wrong password makes the library
// ask the host (SetCryptKeyProc, kind 1) until the CRC fits or the host
// gives up.
#pragma once

#include <cstdint>

namespace qm {

struct CarrierSession;

// Deciphers the 432-byte block `in` into `out`; true when the result carries
// a matching header CRC.  False when no SetCryptKeyProc is registered to ask
// (status left alone) or when the host answers 0 (status 9961).  The host may
// be asked any number of times; its answer stays in the session's
// HeaderPassword.
bool DecipherHeaderBlock(CarrierSession &session, std::uint8_t *out, const std::uint8_t *in);

}  // namespace qm
