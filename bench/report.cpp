#include "report.h"

#include <cmath>
#include <cstdio>

namespace velmor::bench {

namespace {

// JSON string contents: the only texts here are names and notes of our own.
std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        out += c;
    }
    return out;
}

// JSON has no infinity or NaN; a phase too fast to time gives null.
std::string number(double value) {
    if (!std::isfinite(value)) return "null";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", value);
    return buf;
}

}  // namespace

const Phase* Report::find(const std::string& name) const {
    for (const Phase& p : phases) {
        if (p.name == name) return &p;
    }
    return nullptr;
}

double Report::mbPerSecond(const Phase& phase) const {
    return static_cast<double>(phase.bytes) / kMb / phase.seconds;
}

void printTable(const Report& r) {
    const Phase* memcpyPhase = r.find("memcpy");
    std::printf("velmor-bench: %.1f MB of %s, median of %d runs after a warm-up\n\n", r.sizeMb,
                r.corpus.c_str(), r.runs);
    std::printf("%-20s %12s %12s %9s %10s %13s\n", "phase", "median ms", "MB/s", "vs iconv",
                "vs memcpy", "peak RSS MB");
    for (const Phase& p : r.phases) {
        char vsIconv[32] = "-";
        if (p.vsIconv) std::snprintf(vsIconv, sizeof vsIconv, "%.2fx", *p.vsIconv);
        char vsMemcpy[32] = "-";
        if (memcpyPhase != nullptr) {
            std::snprintf(vsMemcpy, sizeof vsMemcpy, "%.3f",
                          r.mbPerSecond(p) / r.mbPerSecond(*memcpyPhase));
        }
        std::printf("%-20s %12.3f %12.1f %9s %10s %13.1f\n", p.name.c_str(), p.seconds * 1e3,
                    r.mbPerSecond(p), vsIconv, vsMemcpy, p.peakRssMb);
    }
    std::printf("\npeak RSS of this process: %.1f MB\n", r.peakRssMb);
    if (r.openConvertSavePeakRssMb >= 0) {
        std::printf(
            "peak RSS of load + SJIS->VELMOR + save in a fresh process: %.1f MB "
            "(limit 1.3 N = %.1f MB)\n",
            r.openConvertSavePeakRssMb, r.openConvertSaveLimitMb);
    }
    if (r.windowPeakRssMb >= 0) {
        std::printf(
            "the window in a fresh process: open to first paint %.1f ms, SJIS->VELMOR to its "
            "paint %.1f ms, save %.1f ms, peak RSS %.1f MB (%.2f N)\n",
            r.windowOpenMs, r.windowConvertMs, r.windowSaveMs, r.windowPeakRssMb,
            r.windowPeakRssMb / r.sizeMb);
    }
    for (const std::string& note : r.notes) std::printf("note: %s\n", note.c_str());
}

void printJson(const Report& r) {
    std::printf("{\"size_mb\": %s, \"runs\": %d, \"corpus\": \"%s\", \"peak_rss_mb\": %s",
                number(r.sizeMb).c_str(), r.runs, escaped(r.corpus).c_str(),
                number(r.peakRssMb).c_str());
    if (r.openConvertSavePeakRssMb >= 0) {
        std::printf(", \"open_convert_save_peak_rss_mb\": %s, \"open_convert_save_limit_mb\": %s",
                    number(r.openConvertSavePeakRssMb).c_str(),
                    number(r.openConvertSaveLimitMb).c_str());
    }
    if (r.windowPeakRssMb >= 0) {
        std::printf(
            ", \"window_open_ms\": %s, \"window_convert_ms\": %s, \"window_save_ms\": %s, "
            "\"window_peak_rss_mb\": %s",
            number(r.windowOpenMs).c_str(), number(r.windowConvertMs).c_str(),
            number(r.windowSaveMs).c_str(), number(r.windowPeakRssMb).c_str());
    }
    std::printf(", \"phases\": [");
    for (std::size_t i = 0; i < r.phases.size(); ++i) {
        const Phase& p = r.phases[i];
        std::printf("%s{\"name\": \"%s\", \"seconds\": %s, \"mb_per_s\": %s", i ? ", " : "",
                    escaped(p.name).c_str(), number(p.seconds).c_str(),
                    number(r.mbPerSecond(p)).c_str());
        if (p.vsIconv) std::printf(", \"vs_iconv\": %s", number(*p.vsIconv).c_str());
        std::printf(", \"peak_rss_mb\": %s}", number(p.peakRssMb).c_str());
    }
    std::printf("], \"notes\": [");
    for (std::size_t i = 0; i < r.notes.size(); ++i) {
        std::printf("%s\"%s\"", i ? ", " : "", escaped(r.notes[i]).c_str());
    }
    std::printf("]}\n");
}

}  // namespace velmor::bench
