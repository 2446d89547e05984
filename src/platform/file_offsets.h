// file_offsets.h - reads and writes at a given offset of an open file, for
// the stored copy of a large entry (see extract/copy_at_offsets.cpp), where
// one thread reads and writes while another folds the CRC.
//
// The streams are the ones of file.h.  None of these moves a stream's own
// position or touches its buffer: every call names its offset.  The caller
// puts the streams where they belong afterwards with Seek.
//
// Only the POSIX side reads and writes so (pread, pwrite); the Win32 side
// says it cannot, and the stored copy keeps to its other form there.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h"

namespace qm::platform {

// True when `from` may be read and `to` written at offsets: both are
// regular files, `to` is open for writing and not for appending.
bool OffsetsPossible(File *from, File *to);

// The position of a stream as its reader or writer sees it (its buffer
// counted); -1 when it cannot be had.
std::int64_t Tell(File *file);

// The size of the open file; -1 when it cannot be had.
std::int64_t SizeOf(File *file);

// Reads up to count bytes at offset: the count read (fewer only at the end
// of the file or at an error after some bytes), 0 at the end, -1 on an error.
std::int64_t ReadAt(File *file, std::int64_t offset, void *buffer, std::size_t count);

// Writes count bytes at offset: the count written (fewer when the file
// takes no more), -1 when it takes none.
std::int64_t WriteAt(File *file, std::int64_t offset, const void *buffer, std::size_t count);

// Reserves room on disk for count bytes at offset, the file's size left as
// it is; a hint only, which the file system may ignore.
void Preallocate(File *file, std::int64_t offset, std::int64_t count);

}  // namespace qm::platform
