// large_block.h - zeroed memory blocks of a mebibyte or so that are written
// through from end to end: the decoder's window, the buffers the writer
// thread writes from.
//
// On this machine's kind of virtual machine a page fault costs about 10
// microseconds, so touching a fresh mebibyte of small pages costs nearly
// 3 ms, a twentieth of a whole 64 MiB extraction.  The POSIX side takes the
// block straight from the system, aligned to 2 MiB, and on Linux asks for
// large pages there (two faults rather than 512; where the system grants
// none it is the same memory as before).  The Win32 side takes it from
// VirtualAlloc.  Either way the block comes zeroed.
#pragma once

#include <cstddef>

namespace qm::platform {

// Null when no memory could be had.
void *AllocateLargeBlock(std::size_t size);
// Accepts null; size is the one given to AllocateLargeBlock.
void FreeLargeBlock(void *block, std::size_t size);

}  // namespace qm::platform
