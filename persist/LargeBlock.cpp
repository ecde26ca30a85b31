#include "LargeBlock.h"

#include <new>

#include <sys/mman.h>

namespace norvane {

LargeBlock allocateLargeBlock(std::size_t& size)
{
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (size < kHugePage) {
        LargeBlock block(static_cast<unsigned char*>(std::malloc(size == 0 ? 1 : size)));
        if (!block)
            throw std::bad_alloc();
        return block;
    }
    size = (size + kHugePage - 1) & ~(kHugePage - 1);
    LargeBlock block(static_cast<unsigned char*>(std::aligned_alloc(kHugePage, size)));
    if (!block)
        throw std::bad_alloc();
    // Advice only: where huge pages are off the block still works with ordinary pages.
    ::madvise(block.get(), size, MADV_HUGEPAGE);
    return block;
}

void* allocateMapped(std::size_t size)
{
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return p;
}

void releaseMapped(void* p, std::size_t size) noexcept
{
    ::munmap(p, size);
}

} // namespace norvane
