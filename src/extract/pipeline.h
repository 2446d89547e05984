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

#include "crypto/cipher.h"
#include "platform/file.h"

namespace qm {

struct ExportSession;
struct TransferState;

// Reads up to count bytes (a multiple of 8) of the entry's packed data into
// buffer, which has room for count rounded up to 8.  0 when exhausted.
std::uint32_t ReadPackedData(ExportSession &session, std::uint8_t *buffer, std::uint32_t count);
// The decoder's sources read the packed data in blocks of this size
// (legacy_decoder.cpp, read_ahead.h): a system call and a cipher call per
// 64 KiB rather than per ask of the decoder (8160 bytes), a block that stays
// in the second-level cache.
constexpr std::uint32_t kPackedBlockSize = 64 * 1024;
// The same on the reader's state given piece by piece rather than in a
// session, for a reader on another thread that works on copies of it
// (read_ahead.h): the carrier, the key state, the entry's cipher method, the
// packed bytes left and whether the chaining value comes first.
std::uint32_t ReadPackedBytes(platform::File *carrier, DataCipher &cipher, CipherMethod method,
                              std::uint32_t &packedLeft, bool &readIvFirst, std::uint8_t *buffer, std::uint32_t count);

// Writes count bytes; returns the number the output file accepted.
std::uint32_t WriteUnpackedData(ExportSession &session, const std::uint8_t *buffer, std::uint32_t count);

// Copies the current entry from the carrier to the output file.
void CopyStored(ExportSession &session);
// The same with the key already chosen, written on this thread whatever the
// entry's size (CopyStored leaves large entries to a writer thread).
void CopyStoredInline(ExportSession &session);

// The parts of the writer for transfers that write on a thread of their own
// (transfer_behind.h), which report on this thread once a write is done.
//
// The stored copy's blocks: a block of `got` packed bytes, cut into steps of
// 32512 bytes and capped by transfer.unpackedLeft (which it lowers); the
// steps' sizes go to steps (room for kCopyStepsPerBlock), and their sum is
// returned.
constexpr std::uint32_t kCopyBlockSize = 32512 * 16;
constexpr std::uint32_t kCopyStepsPerBlock = 16;
std::uint32_t PlanCopySteps(TransferState &transfer, std::uint32_t got, std::uint32_t *steps,
                            std::uint32_t *stepCount);
// The progress reports of such a block, of whose bytes `written` went out.
void ReportCopySteps(ExportSession &session, const std::uint32_t *steps, std::uint32_t stepCount,
                     std::uint32_t written);
// One progress report for a write of `asked` bytes of which `written` went
// to the file; bytesDone already counts them.
void ReportProgress(ExportSession &session, std::uint32_t asked, std::uint32_t written);

// Decodes the current entry (a compressed one) with the session's decoder
// into window (1,048,576 bytes) and writes it out through WriteUnpackedData.
// The driver has set up the reader, dataCrc and unpackedLeft before the call.
void UnpackStream(ExportSession &session, std::uint8_t *window);
// The same written on this thread whatever the entry's size.
void UnpackStreamInline(ExportSession &session, std::uint8_t *window);

}  // namespace qm
