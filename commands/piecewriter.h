#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "outputsink.h"

namespace velmor {

// Writes converted pieces to a sink on a thread of its own, so the copying into the
// file overlaps the conversion of the next piece. Two buffers take turns.
class PieceWriter {
  public:
    explicit PieceWriter(OutputSink& sink);
    ~PieceWriter();
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;

    // An empty buffer to fill; waits while both are being written. Throws the error
    // of an earlier write.
    std::string& buffer();
    // Hands the buffer filled last to the writing thread.
    void submit();
    // Waits until every buffer is written; throws the error of a failed write.
    void drain();

  private:
    void run();
    void throwFailure();

    OutputSink& sink_;
    std::string buffers_[2];
    std::string* filling_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string*> free_;
    std::deque<std::string*> full_;
    bool writing_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace velmor
