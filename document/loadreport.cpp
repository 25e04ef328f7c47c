#include "loadreport.h"

#include <utility>

#include "linebreaks.h"

namespace velmor {

void locateLoadEntries(std::string_view file, ConversionReport& report) {
    const std::size_t n = file.size();
    std::size_t pos = 0;
    for (std::size_t line = 1; pos < n; ++line) {
        if (file[pos] == kCtrlZ) {
            std::string_view rest = file.substr(pos + 1);
            if (!rest.empty()) {
                report.add({ReportKind::AfterEndMark, line, 1,
                            std::string(rest.substr(0, kReportBytesKept)), rest.size(), line - 1, 0,
                            0});
            }
            return;
        }
        std::size_t column = 1;
        std::size_t dropped = 0;
        while (pos < n && file[pos] != '\n') {
            if (file[pos] == '\r') {
                if (pos + 1 < n && file[pos + 1] == '\n') break;
                // The loaded line goes on with the next byte, where the CR stood.
                report.add(
                    {ReportKind::LoneCr, line, column, "\r", 1, line - 1, column - 1 - dropped, 1});
                ++dropped;
            }
            ++column;
            ++pos;
        }
        if (pos < n && file[pos] == '\r') ++pos;
        if (pos < n) ++pos;  // the LF
    }
}

void addShifted(const ConversionReport& entries, std::uint64_t lines, ConversionReport& report) {
    for (ReportEntry entry : entries.entries()) {
        entry.line += lines;
        entry.viewLine += lines;
        report.add(std::move(entry));
    }
}

void addAfterEndMark(const AfterEndMark& mark, ConversionReport& report) {
    report.add({ReportKind::AfterEndMark, mark.line + 1, 1, mark.firstBytes, mark.length, mark.line,
                0, 0});
}

LoadColumnMap::LoadColumnMap(const ConversionReport& load) {
    for (const ReportEntry& entry : load.entries()) {
        if (entry.kind == ReportKind::LoneCr) loneCrs_[entry.line].push_back(entry.column);
    }
}

std::size_t LoadColumnMap::fileColumn(std::size_t line, std::size_t loaded) const {
    auto found = loneCrs_.find(line);
    if (found == loneCrs_.end()) return loaded;
    std::size_t column = loaded;
    for (std::size_t cr : found->second) {
        if (cr > column) break;
        ++column;
    }
    return column;
}

}  // namespace velmor
