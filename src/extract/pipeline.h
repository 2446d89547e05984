// pipeline.h - moving one entry's data from the carrier file to its output.
//
// The reader, ReadPackedData, takes the entry's packed bytes from the carrier
// (the 8-byte chaining value first for cipher methods 1 and 2) and deciphers
// them in place.  The writer, WriteUnpackedData, writes unpacked bytes, folds
// them into the data CRC and reports progress to the host.  CopyStored joins
// the two for entries that are not compressed; the stream decoder pulls its
// input through the reader and flushes its window through the writer.
//
// The transfer state is global (one extraction at a time) and the driver
// resets it for each entry.
#pragma once

#include <cstdint>

#include "crypto/cipher.h"
#include "platform/file.h"

namespace qm {

extern platform::File *OutputStream;  // the entry's output file
extern std::uint32_t PackedLeft;      // packed bytes not yet read
extern std::int32_t UnpackedLeft;     // unpacked bytes not yet produced
extern std::int32_t BytesDone;        // unpacked bytes produced for this entry
extern std::int32_t ProgressTotal;    // the entry's unpacked size
extern std::uint32_t DataCrc;         // running CRC register over the bytes written
extern CipherMethod ActiveCipher;     // the entry's cipher method
extern bool ReadIvFirst;              // the next read first consumes the chaining value

// Reads up to count bytes (a multiple of 8) of the entry's packed data into
// buffer, which has room for count rounded up to 8.  0 when exhausted.
std::uint32_t ReadPackedData(std::uint8_t *buffer, std::uint32_t count);

// Writes count bytes; returns the number the output file accepted.
std::uint32_t WriteUnpackedData(const std::uint8_t *buffer, std::uint32_t count);

// Copies the current entry from the carrier to the output file.
void CopyStored();
// The same with the key already chosen, written on this thread whatever the
// entry's size (CopyStored leaves large entries to a writer thread).
void CopyStoredInline();

// The parts of the writer for transfers that write on a thread of their own
// (transfer_behind.h), which report on this thread once a write is done.
//
// The stored copy's blocks: a block of `got` packed bytes, cut into steps of
// 32512 bytes and capped by UnpackedLeft (which it lowers); the steps' sizes
// go to steps (room for kCopyStepsPerBlock), and their sum is returned.
constexpr std::uint32_t kCopyBlockSize = 32512 * 16;
constexpr std::uint32_t kCopyStepsPerBlock = 16;
std::uint32_t PlanCopySteps(std::uint32_t got, std::uint32_t *steps, std::uint32_t *stepCount);
// The progress reports of such a block, of whose bytes `written` went out.
void ReportCopySteps(const std::uint32_t *steps, std::uint32_t stepCount, std::uint32_t written);
// One progress report for a write of `asked` bytes of which `written` went
// to the file; BytesDone already counts them.
void ReportProgress(std::uint32_t asked, std::uint32_t written);

// Decodes the current entry (a compressed one) into window (1,048,576 bytes)
// and writes it out through WriteUnpackedData.  The driver has set up the
// reader, DataCrc and UnpackedLeft before the call.
void UnpackStream(std::uint8_t *window);
// The same written on this thread whatever the entry's size.
void UnpackStreamInline(std::uint8_t *window);

}  // namespace qm
