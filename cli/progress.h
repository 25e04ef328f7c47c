#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "document/progress.h"
#include "document/threads.h"

namespace velmor {

// The progress line on standard error: files done, MB done, MB/s and the time left,
// redrawn at most ten times a second on a thread of its own. Disabled, or where no
// thread can be had, it draws nothing, but every line told through it still reaches
// standard error.
class ProgressLine {
  public:
    ProgressLine(bool enabled, std::size_t files, const Progress& bytes);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void fileDone();
    // Writes `line` and a line end to standard error, above the progress line.
    void tell(const std::string& line);

  private:
    void run();
    void draw();

    const std::size_t files_;
    const Progress& bytes_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable stop_;
    std::size_t filesDone_ = 0;
    bool stopping_ = false;
    bool drawn_ = false;
    Thread thread_;
};

}  // namespace velmor
