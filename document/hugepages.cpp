#include "hugepages.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>

namespace velmor {

void adviseHugePages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;
    if (bytes < 2 * kHugePage) return;
    auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHugePage - 1);
    if (end <= begin) return;
#ifdef MADV_HUGEPAGE
    // The result is not checked: a refused advice changes nothing but the speed.
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

void releasePages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kPage = 4096;
    auto begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end <= begin) return;
    // Like the huge-page advice, a refusal only costs memory, never data.
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

void giveMemoryBack(std::size_t freed) {
    // Below this the heaps' own trimming does; a look through every heap costs time.
    if (freed >= (std::size_t{32} << 20)) ::malloc_trim(0);
}

}  // namespace velmor
