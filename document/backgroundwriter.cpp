#include "backgroundwriter.h"

#include <utility>

namespace velmor {

BackgroundWriter::BackgroundWriter(TextFileRec& file, bool ownThread) : file_(file) {
    if (ownThread) thread_ = std::thread([this] { run(); });
}

BackgroundWriter::~BackgroundWriter() {
    if (!thread_.joinable()) return;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundWriter::write(std::string_view bytes) {
    if (!thread_.joinable()) return WriteText(file_, bytes);
    wait();
    if (PendingIoError != 0) return;
    {
        std::lock_guard lock(mutex_);
        pending_ = bytes;
        busy_ = true;
    }
    changed_.notify_all();
}

void BackgroundWriter::wait() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
    if (failure_ != 0) {
        PendingIoError = std::exchange(failure_, 0);
        PendingIoCopy = std::move(keptCopy_);
        keptCopy_.clear();
    }
}

void BackgroundWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (!busy_) return;
        const std::string_view bytes = pending_;
        lock.unlock();
        std::exception_ptr thrown;
        try {
            WriteText(file_, bytes);
        } catch (...) {
            thrown = std::current_exception();  // rethrown by wait() on the caller's thread
        }
        lock.lock();
        thrown_ = thrown;
        if (PendingIoError != 0) {
            failure_ = std::exchange(PendingIoError, 0);
            keptCopy_ = std::move(PendingIoCopy);
            PendingIoCopy.clear();
        }
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace velmor
