#include "piecewriter.h"

namespace velmor {

PieceWriter::PieceWriter(OutputSink& sink, Shape shape) : sink_(sink), shape_(std::move(shape)) {
    free_.push_back(&buffers_[0]);
    free_.push_back(&buffers_[1]);
    thread_ = std::thread([this] { run(); });
}

PieceWriter::~PieceWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void PieceWriter::throwFailure() {
    if (failure_) std::rethrow_exception(failure_);
}

std::string& PieceWriter::buffer() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failure_ || !free_.empty(); });
    throwFailure();
    filling_ = free_.front();
    free_.pop_front();
    filling_->clear();
    return *filling_;
}

void PieceWriter::submit(bool shaped) {
    {
        std::lock_guard lock(mutex_);
        full_.emplace_back(filling_, shaped && shape_);
        filling_ = nullptr;
    }
    changed_.notify_all();
}

void PieceWriter::drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failure_ || (full_.empty() && !writing_); });
    throwFailure();
}

// After a failed write nothing more is written: the sink is abandoned anyway. When
// stopping, what waits is dropped: either it was drained, or the file is given up.
void PieceWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !full_.empty(); });
        if (stopping_) return;
        const auto [piece, shaped] = full_.front();
        full_.pop_front();
        writing_ = true;
        lock.unlock();
        std::exception_ptr failure;
        try {
            std::string_view bytes = *piece;
            if (shaped) {
                shaped_.clear();
                shape_(*piece, shaped_);
                bytes = shaped_;
            }
            sink_.write(bytes);
            written_ += bytes.size();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        writing_ = false;
        if (failure && !failure_) failure_ = failure;
        if (!failure_) free_.push_back(piece);
        changed_.notify_all();
    }
}

}  // namespace velmor
