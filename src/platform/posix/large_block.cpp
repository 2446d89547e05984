// large_block.cpp (POSIX) - anonymous mappings aligned to 2 MiB, large
// pages asked for on Linux.
#include "platform/large_block.h"

#include <sys/mman.h>

#include <cstdint>

namespace qm::platform {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

std::size_t Rounded(std::size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

}  // namespace

void *AllocateLargeBlock(std::size_t size)
{
    if (size == 0)
        return nullptr;
    const std::size_t length = Rounded(size);
    // One large page more than needed, then the ends cut away so that the
    // block starts on a large page's boundary.
    void *mapped = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1};
    if (aligned > start)
        munmap(mapped, aligned - start);
    const std::uintptr_t end = start + length + kLargePage;
    if (end > aligned + length)
        munmap(reinterpret_cast<void *>(aligned + length), end - (aligned + length));
    auto *block = reinterpret_cast<void *>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(block, length, MADV_HUGEPAGE);  // a hint: refused, the pages are small ones
#endif
    return block;
}

void FreeLargeBlock(void *block, std::size_t size)
{
    if (block)
        munmap(block, Rounded(size));
}

}  // namespace qm::platform
