#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmor::bench {

struct Phase {
    std::string name;
    double seconds = 0;             // median of the runs
    std::size_t bytes = 0;          // bytes the phase reads, for its throughput
    double peakRssMb = 0;           // the process's peak resident memory during the phase
    std::optional<double> vsIconv;  // throughput over iconv's, conversions only
};

struct Report {
    double sizeMb = 0;
    int runs = 0;
    std::string corpus;  // where the text came from
    std::vector<Phase> phases;
    double peakRssMb = 0;
    // Load, one conversion and save of the file in a fresh process, and the limit
    // 1.3 N it is held to.
    double openConvertSavePeakRssMb = -1;
    double openConvertSaveLimitMb = 0;
    // The same steps through the program's own window in a fresh process (velmor-bench
    // window): each from the command to the view painted after it, and the peak.
    double windowOpenMs = -1, windowConvertMs = -1, windowSaveMs = -1, windowPeakRssMb = -1;
    std::vector<std::string> notes;

    const Phase* find(const std::string& name) const;
    double mbPerSecond(const Phase& phase) const;
};

constexpr double kMb = 1024.0 * 1024.0;

void printTable(const Report& report);
void printJson(const Report& report);

}  // namespace velmor::bench
