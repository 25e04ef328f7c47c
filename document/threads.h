#pragma once

#include <pthread.h>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace velmor {

// Every thread of the program starts here. What a thread's work throws (a file error,
// std::bad_alloc, anything) is kept and rethrown on the thread that joins it, never
// std::terminate. Where no thread can be had (a limit on processes or memory), none
// is started, and the caller does the work itself: every user has a way to go on
// without the thread.
class Thread {
  public:
    Thread() = default;
    // Starts `work` on a thread of its own; not running() when no thread could be had.
    static Thread start(std::function<void()> work);

    Thread(Thread&& other) noexcept;
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Waits for the work. What it threw is dropped: a thread not joined is left behind
    // by an error already on its way, which is the one the user learns.
    ~Thread();

    // Started and not joined yet.
    bool running() const { return state_ != nullptr; }
    // Waits for the work to end and rethrows what it threw. Nothing when not running.
    void join();

  private:
    struct State {
        std::function<void()> work;
        std::exception_ptr thrown;
    };
    static void* entry(void* state);
    void wait();

    std::unique_ptr<State> state_;
    pthread_t id_{};
};

// The number of hardware threads, at least 1.
std::size_t hardwareThreads();

// How a long text or file is cut into parts worked on at once, one per core.
struct PartCut {
    std::size_t maxParts = 1;      // at most this many parts
    std::size_t minPartBytes = 1;  // no part is cut shorter than this

    // The program's own cut: one part per hardware thread, each at least 1 MiB, so
    // that a thread's start-up and the joining of the outputs stay small beside its work.
    static PartCut forThisMachine() { return {hardwareThreads(), std::size_t{1} << 20}; }

    // How many parts `bytes` bytes are cut into, before lines move the cuts.
    std::size_t partsFor(std::size_t bytes) const {
        return std::max<std::size_t>(
            1, std::min(maxParts, bytes / std::max<std::size_t>(minPartBytes, 1)));
    }
};

// work(0), ..., work(count - 1) at once, each on a thread of its own while threads
// can be had; await() takes them in any order the caller needs.
class TaskSet {
  public:
    TaskSet(std::size_t count, std::function<void(std::size_t)> work);
    // Waits for the works still running; what they threw is dropped, as for Thread.
    ~TaskSet() = default;
    TaskSet(const TaskSet&) = delete;
    TaskSet& operator=(const TaskSet&) = delete;

    // Waits for work(i), or does it here when no thread took it; rethrows what it threw.
    void await(std::size_t i);

  private:
    std::function<void(std::size_t)> work_;
    std::vector<Thread> threads_;  // work(i) for i below threads_.size()
};

}  // namespace velmor
