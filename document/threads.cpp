#include "threads.h"

#include <new>
#include <thread>
#include <utility>

#include "syscalls.h"

namespace velmor {

Thread Thread::start(std::function<void()> work) {
    Thread thread;
    try {
        thread.state_ = std::make_unique<State>(State{std::move(work), nullptr});
    } catch (const std::bad_alloc&) {
        return Thread();  // no memory for a thread: the caller does the work
    }
    if (sys::calls().startThread(&thread.id_, &Thread::entry, thread.state_.get()) != 0) {
        thread.state_.reset();
    }
    return thread;
}

void* Thread::entry(void* state) {
    auto* s = static_cast<State*>(state);
    try {
        s->work();
    } catch (...) {
        s->thrown = std::current_exception();  // rethrown by join() on the joining thread
    }
    return nullptr;
}

Thread::Thread(Thread&& other) noexcept
    : state_(std::move(other.state_)), id_(std::exchange(other.id_, pthread_t{})) {}

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        wait();
        state_ = std::move(other.state_);
        id_ = std::exchange(other.id_, pthread_t{});
    }
    return *this;
}

Thread::~Thread() {
    wait();
}

void Thread::wait() {
    if (!state_) return;
    ::pthread_join(id_, nullptr);
    state_.reset();
}

void Thread::join() {
    if (!state_) return;
    ::pthread_join(id_, nullptr);
    std::exception_ptr thrown = std::move(state_->thrown);
    state_.reset();
    if (thrown) std::rethrow_exception(thrown);
}

std::size_t hardwareThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

TaskSet::TaskSet(std::size_t count, std::function<void(std::size_t)> work)
    : work_(std::move(work)) {
    threads_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Thread thread = Thread::start([this, i] { work_(i); });
        if (!thread.running()) break;  // the works not started are done by await()
        threads_.push_back(std::move(thread));
    }
}

void TaskSet::await(std::size_t i) {
    if (i < threads_.size()) {
        threads_[i].join();
    } else {
        work_(i);
    }
}

}  // namespace velmor
