// md5.h - the MD5 message digest (RFC 1321).
//
// Passwords become key material through MD5: 16 bytes, of which the ciphers
// use bytes 0-7 as the first DES key and bytes 8-15 as the second.  Only the
// one-shot form is needed, since a password is at most 255 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// The 16-byte MD5 digest of `size` bytes at `data`.
void Md5(const std::uint8_t *data, std::size_t size, std::uint8_t digest[16]);

}  // namespace qm
