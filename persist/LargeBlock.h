#pragma once
/// Memory for large buffers that are filled once and read back (row caches, file text).

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace norvane {

/// Frees a `LargeBlock`.
struct LargeBlockDeleter
{
    void operator()(unsigned char* p) const noexcept { std::free(p); }
};
using LargeBlock = std::unique_ptr<unsigned char[], LargeBlockDeleter>;

/// Uninitialised memory of at least `size` bytes. From 2 MiB on, the block is aligned to and
/// rounded up to 2 MiB, and the kernel is asked to back it with transparent huge pages: filling
/// hundreds of megabytes then costs one page fault per 2 MiB instead of one per 4 KiB. `size`
/// receives the usable size. Throws std::bad_alloc.
LargeBlock allocateLargeBlock(std::size_t& size);

/// Memory of `size` bytes mapped for one owner and given back to the system when it is freed
/// (`releaseMapped`), rather than left to the C library's heap. Throws std::bad_alloc.
void* allocateMapped(std::size_t size);
void releaseMapped(void* p, std::size_t size) noexcept;

/// An allocator for containers that grow to many megabytes (the row list of a cached dataset).
/// From 2 MiB on their storage comes from `allocateLargeBlock`, so growing by copying faults in
/// huge pages; from 16 KiB on it is mapped, so the blocks left behind by growing go back to the
/// system instead of staying in the heap.
template <class T> struct LargeBlockAllocator
{
    using value_type = T;
    static constexpr std::size_t kMapped = std::size_t(16) << 10;
    static constexpr std::size_t kHuge = std::size_t(2) << 20;
    LargeBlockAllocator() = default;
    template <class U> LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}
    T* allocate(std::size_t n)
    {
        std::size_t size = n * sizeof(T);
        if (size >= kMapped && size < kHuge)
            return static_cast<T*>(allocateMapped(size));
        return reinterpret_cast<T*>(allocateLargeBlock(size).release());
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        const std::size_t size = n * sizeof(T);
        if (size >= kMapped && size < kHuge)
            releaseMapped(p, size);
        else
            LargeBlockDeleter()(reinterpret_cast<unsigned char*>(p));
    }
    template <class U> bool operator==(const LargeBlockAllocator<U>&) const noexcept
    {
        return true;
    }
};

} // namespace norvane
