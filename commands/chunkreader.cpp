#include "chunkreader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "document/ioerror.h"
#include "document/report.h"

namespace velmor {

ChunkReader::ChunkReader(int fd, std::size_t chunkBytes, bool forReport)
    : fd_(fd),
      forReport_(forReport),
      buffer_(std::make_unique_for_overwrite<char[]>(chunkBytes)),
      capacity_(chunkBytes) {
    for (LoadedPiece& piece : pieces_) free_.push_back(&piece);
    thread_ = std::thread([this] { run(); });
}

ChunkReader::~ChunkReader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

const LoadedPiece& ChunkReader::next() {
    std::unique_lock lock(mutex_);
    if (current_ != nullptr) {
        free_.push_back(current_);
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !ready_.empty(); });
    current_ = ready_.front();
    ready_.pop_front();
    return *current_;
}

LoadedPiece* ChunkReader::takeFree() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
    if (stopping_) return nullptr;
    LoadedPiece* piece = free_.front();
    free_.pop_front();
    return piece;
}

void ChunkReader::publish(LoadedPiece* piece) {
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(piece);
    }
    changed_.notify_all();
}

void ChunkReader::run() {
    for (;;) {
        LoadedPiece* piece = takeFree();
        if (piece == nullptr) return;
        fill(*piece);
        bool done = piece->last || piece->error != 0;
        publish(piece);
        if (done) return;
    }
}

// Reads until the buffer is full or the file ends, then loads the whole lines held.
// When the buffer holds no whole line, the line is longer than the buffer, which
// then grows to take it.
void ChunkReader::fill(LoadedPiece& piece) {
    piece.loaded.clear();
    piece.inputBytes = 0;
    piece.last = false;
    piece.error = 0;
    piece.raw.clear();
    for (;;) {
        while (!atEnd_ && held_ < capacity_) {
            ssize_t n = ::read(fd_, buffer_.get() + held_, capacity_ - held_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                piece.error = ioErrorCode(errno);
                return;
            }
            if (n == 0) atEnd_ = true;
            held_ += static_cast<std::size_t>(n);
        }
        std::size_t used =
            loader_.load(std::string_view(buffer_.get(), held_), atEnd_, piece.loaded);
        if (loader_.takeDroppedCr() && forReport_) piece.raw.assign(buffer_.get(), used);
        std::memmove(buffer_.get(), buffer_.get() + used, held_ - used);
        held_ -= used;
        piece.inputBytes += used;
        if (loader_.finished() || (atEnd_ && held_ == 0)) {
            piece.last = true;
            if (loader_.finished() && forReport_) readAfterEndMark(piece);
            return;
        }
        if (used > 0) return;
        auto larger = std::make_unique_for_overwrite<char[]>(2 * capacity_);
        std::memcpy(larger.get(), buffer_.get(), held_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    }
}

// Counts the bytes after the Ctrl-Z at the buffer's start, reading the rest of the
// input, and keeps the first of them.
void ChunkReader::readAfterEndMark(LoadedPiece& piece) {
    piece.afterEndMark.assign(buffer_.get() + 1, std::min(held_ - 1, kReportBytesKept));
    piece.afterEndMarkBytes = held_ - 1;
    while (!atEnd_) {
        ssize_t n = ::read(fd_, buffer_.get(), capacity_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            piece.error = ioErrorCode(errno);
            return;
        }
        if (n == 0) atEnd_ = true;
        const std::size_t got = static_cast<std::size_t>(n);
        const std::size_t room = kReportBytesKept - piece.afterEndMark.size();
        piece.afterEndMark.append(buffer_.get(), std::min(got, room));
        piece.afterEndMarkBytes += got;
    }
}

}  // namespace velmor
