#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/peakmemory.h"

namespace velmor::bench {

// The median wall time of `runs` runs of `body`, after one warm-up run that is not
// counted. `setup` runs before every run, untimed, and prepares what `body` uses up.
template <class Setup, class Body>
double medianSeconds(int runs, Setup&& setup, Body&& body) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    for (int i = -1; i < runs; ++i) {
        setup();
        auto start = Clock::now();
        body();
        auto end = Clock::now();
        if (i >= 0) times.push_back(std::chrono::duration<double>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    std::size_t n = times.size();
    return n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

// The process's peak resident memory, measured as the large-input tests measure it.
using testing::peakRssMb;
using testing::resetPeakRss;

// Runs this program again with `args`, its output and errors going to `outputPath`,
// and returns that output, or throws when the child fails. A child's peak memory
// has to come from the child itself: the kernel's count for a spawned child starts
// from the parent's peak.
std::string runSelf(const std::vector<std::string>& args, const std::string& outputPath);

}  // namespace velmor::bench
