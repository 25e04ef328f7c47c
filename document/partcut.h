#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>

namespace velmor {

// How a long text or file is cut into parts worked on at once, one per core.
struct PartCut {
    std::size_t maxParts = 1;      // at most this many parts
    std::size_t minPartBytes = 1;  // no part is cut shorter than this

    // The program's own cut: one part per hardware thread, each at least 1 MiB, so
    // that a thread's start-up and the joining of the outputs stay small beside its work.
    static PartCut forThisMachine() {
        return {std::max(1u, std::thread::hardware_concurrency()), std::size_t{1} << 20};
    }

    // How many parts `bytes` bytes are cut into, before lines move the cuts.
    std::size_t partsFor(std::size_t bytes) const {
        return std::max<std::size_t>(
            1, std::min(maxParts, bytes / std::max<std::size_t>(minPartBytes, 1)));
    }
};

}  // namespace velmor
