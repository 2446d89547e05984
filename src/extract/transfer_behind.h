// transfer_behind.h - the stored copy and the stream decoding of a large
// entry, with the writes on a thread of their own (write_behind.h).
//
// To the host nothing changes: the progress reports come on the calling
// thread, inside the export, with the same arguments and in the same order
// as when the writes are made inline, the statuses are the same, and the
// temporary output file is what the driver finishes or removes.  A report
// is made once its bytes have reached the file, so it comes later in time
// than inline; the reading and decoding go on meanwhile, and after a failed
// write or a stop from the host they may have read further into the entry,
// which ends all the same.
//
// Both work on the session they are given, on the calling thread, and leave
// its transfer state (transfer_state.h) as the inline transfers do; the
// writer thread is handed only the output file and the bytes to write (and
// for the decoding's read-ahead the carrier, a ring of its own and copies of
// the reader's state, read_ahead.h).  They return false without having
// touched anything when no thread could be made: the caller then runs the
// inline transfer.
#pragma once

#include <cstdint>

#include "unpack/stream_decoder.h"

namespace qm {

struct ExportSession;

// Entries smaller than this are written inline: a thread's start and the
// hand-offs would cost more than they save.
constexpr std::uint32_t kWriteBehindMinimum = 1u << 20;

// The rest of CopyStored once the key is chosen.
bool CopyStoredBehind(ExportSession &session);

// The same with the reads and writes on the writer thread and the CRC on
// this one (copy_at_offsets.cpp), for a plain entry whose packed and
// unpacked sizes agree, where the platform reads and writes at offsets.
// False, with nothing read, written or changed, when it does not apply.
bool CopyStoredAtOffsets(ExportSession &session);

// UnpackStream with the session's decoder, whose packed bytes come from
// source.
bool UnpackStreamBehind(ExportSession &session, PackedSource *source, std::uint8_t *window);

// The same with every delivery of the decoder copied into a buffer of the
// writer's (unpack_copied_behind.cpp): the window never leaves this thread.
bool UnpackStreamCopiedBehind(ExportSession &session, PackedSource *source, std::uint8_t *window);

// UnpackStreamCopiedBehind with the session's reader as the source, the
// packed data read and deciphered ahead of the decoder by the writer thread
// (read_ahead.h).  UnpackStream takes this form for large entries.
bool UnpackStreamReadAhead(ExportSession &session, std::uint8_t *window);

}  // namespace qm
