// file_offsets.cpp (Win32) - the stored copy keeps to its reads here and
// writes on the writer thread (extract/copy_behind.cpp), so OffsetsPossible
// says no and the rest is never reached.
#include "platform/file_offsets.h"

namespace qm::platform {

bool OffsetsPossible(File *, File *) { return false; }

std::int64_t Tell(File *) { return -1; }

std::int64_t SizeOf(File *) { return -1; }

std::int64_t ReadAt(File *, std::int64_t, void *, std::size_t) { return -1; }

std::int64_t WriteAt(File *, std::int64_t, const void *, std::size_t) { return -1; }

void Preallocate(File *, std::int64_t, std::int64_t) {}

}  // namespace qm::platform
