// transfer_state.h - the counters and streams of the entry being extracted.
//
// The driver sets them up for each entry; the reader (packed bytes in), the
// writer (unpacked bytes out) and the stored copy move them along.
#pragma once

#include <cstdint>

#include "crypto/cipher.h"
#include "platform/file.h"

namespace qm {

struct TransferState {
    platform::File *output = nullptr;      // the entry's output file
    std::uint32_t packedLeft = 0;          // packed bytes not yet read
    std::int32_t unpackedLeft = 0;         // unpacked bytes not yet produced
    std::int32_t bytesDone = 0;            // unpacked bytes produced for this entry
    std::int32_t progressTotal = 0;        // the entry's unpacked size
    std::uint32_t dataCrc = 0xFFFFFFFFu;   // running CRC register over the bytes written
    CipherMethod activeCipher = -1;        // the entry's cipher method
    bool readIvFirst = false;              // the next read first consumes the chaining value
};

}  // namespace qm
