// memory.h - the heap helpers of the mask list.
//
// Mask nodes and their directory strings come from the C heap, because the
// host releases them through DoneFileMaskList, which may be a different
// module's idea of "delete".  Blocks are at most 65535 bytes.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace qm {

// Obtains a block of size bytes into block (null when none could be had).
// True when a block was obtained.
template <typename T>
bool AllocMem(T *&block, std::uint16_t size)
{
    block = size == 0 ? nullptr : static_cast<T *>(std::malloc(size));
    return block != nullptr;
}

// Releases the block held in block, if any, and sets block to null.
template <typename T>
void FreeMem(T *&block)
{
    if (block != nullptr) {
        std::free(block);
        block = nullptr;
    }
}

// A heap copy of a NUL-terminated text shorter than 65535 characters; null
// when the text is longer or no memory could be obtained.
char *DupString(const char *text);

}  // namespace qm
