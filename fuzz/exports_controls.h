// exports_controls.h - how the exports target reads a host's choices.
//
// An input of the exports target is a carrier file as it is.  Its first
// eight bytes (carrier bytes before the signature record in every seed) also
// pick what the host does (a carrier that begins with its signature record
// is driven by a plain host: all choices zero but byte 2, 0x55):
//
//   byte 0  bit 0 keep directories      bit 4 build the public list twice into one head
//           bit 1 InitHidFile           bit 5 extract twice (meets the replace question)
//           bit 2 force enciphered      bit 6 register SetFileNameProc
//                 headers (InitHidFile) bit 7 ExtractFileMaskListHid instead of ...Arc
//           bit 3 register SetCryptKeyProc before the open
//   byte 1  bits 0-1 data password, bits 2-3 header password (kPasswords)
//   byte 2  password answers, two bits per question in turn:
//           0 give up, 1 the right password, 2 a wrong one, 3 an answer of 5
//   byte 3  replace answers, two bits per question in turn: 0, 1, 2, or 7
//   byte 4  bits 0-2 mask set (kMaskSets)
//   byte 5  bits 0-1 output path, bits 2-3 relative path,
//           bit 4 set both through SetDecompExtraFeatures
//   byte 6  bits 0-3 the progress call that answers 0 (0: none)
//           bits 4-7 the data cipher method of the open parameters (signed)
//   byte 7  bit 0 SetFileNameProc rewrites the output name
//           bit 1 an answer of 5 to a password question comes with status 2926
//           bit 2 DoneArcFile before the extraction
//           bit 3 turn every other option bit on as well
#pragma once

#include <cstdint>

namespace qmfuzz {

// The password every seed enciphers with (data and header blocks).
inline constexpr const char *kRightPassword = "fuzz";
inline constexpr const char *kPasswords[4] = {"", "fuzz", "Secret 2", "wrong"};

enum ExportsFlag : std::uint8_t {
    kKeepDirectories = 1u << 0,
    kOpenHid = 1u << 1,
    kForceEnciphered = 1u << 2,
    kCryptKeyBeforeOpen = 1u << 3,
    kListTwice = 1u << 4,
    kExtractTwice = 1u << 5,
    kFileNameProc = 1u << 6,
    kExtractHid = 1u << 7,
};

}  // namespace qmfuzz
