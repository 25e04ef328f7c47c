#pragma once

#include <atomic>
#include <cstdint>

#include "errors.h"

namespace velmor {

// How far a long load, conversion, save or run of files got, and whether the user
// asked it to stop. The threads doing the work add to it; another shows it.
class Progress {
  public:
    // `total` in the same unit as the work done: input bytes; 0 when unknown.
    explicit Progress(std::uint64_t total = 0) : total_(total) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // May be called from several threads at once.
    void add(std::uint64_t done) { done_.fetch_add(done, std::memory_order_relaxed); }
    // Throws EAbort once cancel() was called: the step then ends as a failed one.
    void check() const {
        if (cancelled() && !lockedIn()) throw EAbort();
    }
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // Said by a step that has begun to replace what it works on and can no longer put
    // it back: from then on a cancel is not taken, and the step goes on to its end.
    void lockIn() { lockedIn_.store(true, std::memory_order_relaxed); }
    bool lockedIn() const { return lockedIn_.load(std::memory_order_relaxed); }

    std::uint64_t done() const { return done_.load(std::memory_order_relaxed); }
    std::uint64_t total() const { return total_; }

  private:
    const std::uint64_t total_;
    std::atomic<std::uint64_t> done_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> lockedIn_{false};
};

// Adds to `progress` and checks it, when there is one.
inline void tell(Progress* progress, std::uint64_t done) {
    if (progress == nullptr) return;
    progress->add(done);
    progress->check();
}

}  // namespace velmor
