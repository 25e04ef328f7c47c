#include "progress.h"

#include <cstdio>
#include <string>

#include "i18n.h"

namespace velmor {

namespace {

constexpr auto kRefresh = std::chrono::milliseconds(100);
constexpr char kClearLine[] = "\r\033[K";

}  // namespace

ProgressLine::ProgressLine(bool enabled, std::size_t files, const Progress& bytes)
    : files_(files), bytes_(bytes) {
    if (enabled) thread_ = Thread::start([this] { run(); });
}

ProgressLine::~ProgressLine() {
    if (!thread_.running()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    thread_.join();
    if (drawn_) std::fputs(kClearLine, stderr);
}

void ProgressLine::fileDone() {
    std::lock_guard lock(mutex_);
    ++filesDone_;
}

void ProgressLine::tell(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (drawn_) std::fputs(kClearLine, stderr);
    std::fprintf(stderr, "%s\n", line.c_str());
    if (drawn_) draw();
}

void ProgressLine::run() {
    std::unique_lock lock(mutex_);
    while (!stop_.wait_for(lock, kRefresh, [this] { return stopping_; })) draw();
}

// Called with the mutex held.
void ProgressLine::draw() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double mb = static_cast<double>(bytes_.done()) / 1e6;
    const double rate = seconds > 0 ? mb / seconds : 0;
    const double totalMb = static_cast<double>(bytes_.total()) / 1e6;
    const auto decimal = [](double value, int digits) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", digits, value);
        return std::string(text);
    };
    std::string line = fill(
        tr("%1/%2 files, %3 MB, %4 MB/s"),
        {std::to_string(filesDone_), std::to_string(files_), decimal(mb, 1), decimal(rate, 1)});
    if (rate > 0 && totalMb >= mb) {
        line += fill(tr(", %1 s left"), {decimal((totalMb - mb) / rate, 0)});
    }
    std::fprintf(stderr, "%s%s", kClearLine, line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace velmor
