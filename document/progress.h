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
        if (cancelled()) throw EAbort();
    }
    // Asks the step to stop. Refused (false) once the step has passed the point from
    // which it cannot go back: a save whose new file is replacing the old one.
    bool cancel() {
        int state = kRunning;
        if (state_.compare_exchange_strong(state, kCancelled) || state == kCancelled) return true;
        refused_.store(true);
        return false;
    }
    bool cancelled() const { return state_.load(std::memory_order_relaxed) == kCancelled; }
    // Passes the point of no return: false when a cancel came first. A cancel asked
    // after it is refused.
    bool commit() {
        int state = kRunning;
        return state_.compare_exchange_strong(state, kCommitted) || state == kCommitted;
    }
    // The step passed its point of no return (commit()).
    bool committed() const { return state_.load(std::memory_order_relaxed) == kCommitted; }
    // A cancel was asked and refused: the step went on to its end.
    bool cancelRefused() const { return refused_.load(); }

    std::uint64_t done() const { return done_.load(std::memory_order_relaxed); }
    std::uint64_t total() const { return total_; }

  private:
    static constexpr int kRunning = 0;
    static constexpr int kCancelled = 1;
    static constexpr int kCommitted = 2;
    const std::uint64_t total_;
    std::atomic<std::uint64_t> done_{0};
    std::atomic<int> state_{kRunning};
    std::atomic<bool> refused_{false};
};

// Adds to `progress` and checks it, when there is one.
inline void tell(Progress* progress, std::uint64_t done) {
    if (progress == nullptr) return;
    progress->add(done);
    progress->check();
}

}  // namespace velmor
