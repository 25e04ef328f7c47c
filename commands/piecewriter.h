#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "outputsink.h"

namespace velmor {

// Writes converted pieces to a sink on a thread of its own, so that shaping them
// into the bytes saved and copying those into the file overlap the conversion of
// the next piece. Two buffers take turns.
class PieceWriter {
  public:
    // Makes the bytes to write of a submitted buffer, on the writing thread.
    using Shape = std::function<void(std::string_view piece, std::string& bytes)>;

    explicit PieceWriter(OutputSink& sink, Shape shape = {});
    ~PieceWriter();
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;

    // An empty buffer to fill; waits while both are being written. Throws the error
    // of an earlier write.
    std::string& buffer();
    // Hands the buffer filled last to the writing thread, to be shaped or written
    // as it is.
    void submit(bool shaped = true);
    // Waits until every buffer is written; throws the error of a failed write.
    void drain();
    // Bytes written so far; all of them once drain() returned.
    std::uint64_t written() const { return written_; }

  private:
    void run();
    void throwFailure();

    OutputSink& sink_;
    Shape shape_;
    std::string shaped_;
    std::atomic<std::uint64_t> written_{0};
    std::string buffers_[2];
    std::string* filling_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string*> free_;
    std::deque<std::pair<std::string*, bool>> full_;  // a buffer, and whether to shape it
    bool writing_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace velmor
