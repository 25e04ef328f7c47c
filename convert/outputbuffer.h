#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "document/hugepages.h"

namespace velmor {

// Lets a converter write its output through a raw pointer into a std::string that
// the Document later takes over without a copy. The string is grown in steps just
// ahead of the writing, so the zero-fill of resize() stays in the cache, and it is
// cut to the bytes written at the end.
class OutputBuffer {
  public:
    OutputBuffer(std::string& out, std::size_t expected) : out_(out), used_(out.size()) {
        out_.reserve(used_ + expected);
        adviseHugePages(out_.data() + used_, out_.capacity() - used_);
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
