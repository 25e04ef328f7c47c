#pragma once

#include <algorithm>
#include <cstddef>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

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

// Starts work(0), work(1), ... work(count - 1) on threads of their own and returns
// their futures. Where no more threads can be had (a process or pids limit) it returns
// fewer, and awaitOrDo() does the works left on the caller's thread.
template <typename Work>
std::vector<std::future<void>> startOnThreads(std::size_t count, const Work& work) {
    std::vector<std::future<void>> running;
    running.reserve(count);
    try {
        for (std::size_t i = 0; i < count; ++i) {
            running.push_back(std::async(std::launch::async, work, i));
        }
    } catch (const std::system_error&) {
        // No more threads: the works not started are done by awaitOrDo().
    }
    return running;
}

// Waits for work(i) started by startOnThreads(), passing on what it threw, or does it
// here when it was not started.
template <typename Work>
void awaitOrDo(std::vector<std::future<void>>& running, std::size_t i, const Work& work) {
    if (i < running.size()) {
        running[i].get();
    } else {
        work(i);
    }
}

}  // namespace velmor
