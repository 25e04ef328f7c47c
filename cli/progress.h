#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace velmor {

// The progress line on standard error: files done, MB done, MB/s and the time left,
// redrawn at most ten times a second. Disabled, it draws nothing, but every line
// told through it still reaches standard error.
class ProgressLine {
  public:
    ProgressLine(bool enabled, std::size_t files, std::uint64_t totalBytes);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    std::atomic<std::uint64_t>& bytesDone() { return bytes_; }
    void fileDone() { ++filesDone_; }
    // Writes `line` and a line end to standard error, above the progress line.
    void tell(const std::string& line);

  private:
    void run();
    void draw();

    const bool enabled_;
    const std::size_t files_;
    const std::uint64_t totalBytes_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<std::size_t> filesDone_{0};
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    bool drawn_ = false;
    std::thread thread_;
};

}  // namespace velmor
