// large_block.cpp (Win32) - VirtualAlloc, which hands out zeroed pages.
#include "platform/large_block.h"

#include <windows.h>

namespace qm::platform {

void *AllocateLargeBlock(std::size_t size)
{
    if (size == 0)
        return nullptr;
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void FreeLargeBlock(void *block, std::size_t)
{
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace qm::platform
