// pipeline.h - moving one entry's data from the carrier file to its output.
//
// The reader, ReadPackedData, takes the entry's packed bytes from the carrier
// (the 8-byte chaining value first for cipher methods 1 and 2) and deciphers
// them in place.  The writer, WriteUnpackedData, writes unpacked bytes, folds
// them into the data CRC and reports progress to the host.  CopyStored joins
// the two for entries that are not compressed; the stream decoder pulls its
// input through the reader and flushes its window through the writer.
//
// All of them work on a session's transfer state (transfer_state.h), which
// the driver resets for each entry, and its data cipher.
#pragma once

#include <cstdint>

namespace qm {

struct ExportSession;

// Reads up to count bytes (a multiple of 8) of the entry's packed data into
// buffer, which has room for count rounded up to 8.  0 when exhausted.
std::uint32_t ReadPackedData(ExportSession &session, std::uint8_t *buffer, std::uint32_t count);

// Writes count bytes; returns the number the output file accepted.
std::uint32_t WriteUnpackedData(ExportSession &session, const std::uint8_t *buffer, std::uint32_t count);

// Copies the current entry from the carrier to the output file.
void CopyStored(ExportSession &session);

// Decodes the current entry (a compressed one) with the session's decoder
// into window (1,048,576 bytes) and writes it out through WriteUnpackedData.
// The driver has set up the reader, dataCrc and unpackedLeft before the call.
void UnpackStream(ExportSession &session, std::uint8_t *window);

}  // namespace qm
