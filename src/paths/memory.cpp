// memory.cpp - the heap helpers of the mask list (see memory.h).
#include "paths/memory.h"

#include <cstring>

#include "paths/text_bounds.h"

namespace qm {

char *DupString(const char *text)
{
    constexpr std::size_t kMaxText = 65534;  // length plus NUL fits in 16 bits
    const std::size_t length = BoundedLength(text, kMaxText + 1);
    if (length > kMaxText) return nullptr;
    char *copy = nullptr;
    if (!AllocMem(copy, static_cast<std::uint16_t>(length + 1))) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

}  // namespace qm
