#pragma once

#include <cstddef>

namespace velmor {

// Asks the kernel to back the whole pages inside [data, data + bytes) with huge
// pages. Filling fresh memory of hundreds of megabytes otherwise costs one page
// fault per 4 KB, which is more than the copying itself. Only advice: where it is
// not taken, the memory works as before. Small buffers are left alone.
void adviseHugePages(void* data, std::size_t bytes);

// Gives back to the system the memory of the whole pages inside [data, data + bytes),
// for a buffer whose first `bytes` bytes will not be read again: they then cost no
// memory while the rest is still in use. Reading them afterwards gives zeros.
void releasePages(void* data, std::size_t bytes);

// Gives memory freed by the program back to the system, once `freed` bytes or more
// were freed: the allocator keeps freed blocks in the middle of its heaps otherwise,
// and the memory of a closed document of a gigabyte would stay with the program.
void giveMemoryBack(std::size_t freed);

}  // namespace velmor
