#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "textfile.h"

namespace velmor {

// Writes a text file's chunks in order, one at a time, on a thread of its own while
// the caller puts the next chunk together, so that a long save takes about as long
// as its writes. A failed write comes back to the caller's thread as the pending
// code (and kept copy) that WriteText would have left there.
class BackgroundWriter {
  public:
    // Without `ownThread`, every chunk is written at once on the caller's thread.
    BackgroundWriter(TextFileRec& file, bool ownThread);
    // Waits for the chunk being written. A failure it meets is not reported: the
    // writer is only left this way by an exception already on its way.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Waits until the chunk before is written, then writes `bytes`, which must stay
    // as they are until the next write() or wait(). Nothing is written once a write
    // has failed.
    void write(std::string_view bytes);
    // Waits until every chunk is written; a failure is then pending on this thread.
    void wait();

  private:
    void run();

    TextFileRec& file_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string_view pending_;
    bool busy_ = false;
    bool quit_ = false;
    int failure_ = 0;
    std::string keptCopy_;
    std::exception_ptr thrown_;
    std::thread thread_;
};

}  // namespace velmor
