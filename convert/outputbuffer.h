#pragma once

#include <algorithm>
#include <cstddef>
#include <new>
#include <string>

#include "document/hugepages.h"

namespace velmor {

// Reserves `bound` more bytes in `out`, or `expected` more where that much address
// space cannot be had, and advises huge pages for the new room.
inline void reserveOutput(std::string& out, std::size_t expected, std::size_t bound) {
    const std::size_t used = out.size();
    try {
        out.reserve(used + bound);
    } catch (const std::bad_alloc&) {
        out.reserve(used + expected);  // a failure here is a real lack of memory
    }
    adviseHugePages(out.data() + used, out.capacity() - used);
}

// Lets a converter write its output through a raw pointer into a std::string that
// the Document later takes over without a copy. The string is grown in steps just
// ahead of the writing, so the zero-fill of resize() stays in the cache, and it is
// cut to the bytes written at the end.
class OutputBuffer {
  public:
    // Reserves room for `bound` bytes, the most the output can take, so the string
    // never has to move (moving would hold the old and the new copy at once). Room that
    // is never written costs address space, not memory. Where even the address space
    // cannot be had, it settles for `expected` bytes and grows when needed.
    OutputBuffer(std::string& out, std::size_t expected, std::size_t bound)
        : out_(out), used_(out.size()) {
        reserveOutput(out_, expected, bound);
    }
    ~OutputBuffer() { out_.resize(used_); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // A pointer at which `bytes` bytes may be written; pass the end of what was
    // written to commit().
    char* room(std::size_t bytes) {
        if (used_ + bytes > out_.size()) grow(used_ + bytes);
        return out_.data() + used_;
    }
    void commit(const char* end) { used_ = static_cast<std::size_t>(end - out_.data()); }

  private:
    static constexpr std::size_t kStep = 256 * 1024;

    void grow(std::size_t needed) {
        std::size_t target = std::max(needed, out_.size() + kStep);
        if (needed <= out_.capacity()) target = std::min(target, out_.capacity());
        out_.resize(target);
    }

    std::string& out_;
    std::size_t used_;
};

}  // namespace velmor
