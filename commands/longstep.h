#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

#include "document/errors.h"

namespace velmor {

// A load, conversion or save that may take long: the window runs it on a worker
// thread and shows its progress; each reports the bytes done, and a load or save
// stops when the user cancels. A conversion cannot be cancelled.
enum class StepKind { Load, Convert, Save };

class StepProgress {
  public:
    explicit StepProgress(std::size_t total) : total_(total) {}

    // Called by the worker between chunks: records the bytes done, and throws
    // EAbort once cancel() was called.
    void check(std::size_t done) {
        done_.store(done, std::memory_order_relaxed);
        if (cancelled_.load(std::memory_order_relaxed)) throw EAbort();
    }
    // Adds `bytes` to the bytes done; may be called from several threads at once.
    void add(std::size_t bytes) { done_.fetch_add(bytes, std::memory_order_relaxed); }
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }

    std::size_t done() const { return done_.load(std::memory_order_relaxed); }
    // 0 when unknown.
    std::size_t total() const { return total_; }

  private:
    const std::size_t total_;
    std::atomic<std::size_t> done_{0};
    std::atomic<bool> cancelled_{false};
};

// Runs `step` (which reports to `progress`) and returns when it has ended,
// passing on what it threw.
using StepRunner =
    std::function<void(StepKind kind, StepProgress& progress, const std::function<void()>& step)>;

}  // namespace velmor
