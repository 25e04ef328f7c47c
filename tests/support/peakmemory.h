#pragma once

#include <cstdio>
#include <fstream>
#include <string>

namespace velmor::testing {

// The process's peak resident memory in MB (VmHWM), or 0 where the kernel does not
// tell it.
inline double peakRssMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;  // kB
    }
    return 0;
}

// Sets the peak back to the current resident memory so the next phase is measured on
// its own. False where the kernel does not offer it; the peak then keeps growing.
inline bool resetPeakRss() {
    // Writing 5 to clear_refs sets VmHWM back to the current resident size.
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (f == nullptr) return false;
    bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace velmor::testing
