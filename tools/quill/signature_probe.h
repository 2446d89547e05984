// signature_probe.h - what the archive's signature record says about its
// header blocks, read by quill itself.
//
// When no first header block can be found, the library says only that the
// open failed with a password status: for an archive whose header blocks are
// plain that means damage, and quill must not blame a password.  The record
// is 34 bytes within the first 81,920 of the file: "Quillmark!", the format
// word 0x1541524E, the magic 77 and a flags word whose bit 0 marks
// enciphered header blocks.
#pragma once

#include <optional>
#include <string>

namespace quill {

// True or false from the first signature record of the file; nothing when
// the file cannot be read or holds none.
std::optional<bool> SignatureSaysHeadersEnciphered(const std::string &path);

}  // namespace quill
