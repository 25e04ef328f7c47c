#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "convert/direction.h"
#include "document/report.h"

namespace velmor {

// The lines --report prints for one file: each entry as PATH:LINE:COLUMN: KIND:
// message, at most `maxPerKind` of each kind, then a count line. Empty when the
// report is.
std::string reportLines(const std::string& path, const ConversionReport& report,
                        std::size_t maxPerKind);

struct FileReport {
    std::string input;
    Direction direction;
    ConversionReport report;
    bool utf8 = false;  // --to-utf8 or --from-utf8
};

// All files' entries as the one JSON document --report-json writes.
std::string reportJson(const std::vector<FileReport>& files);

}  // namespace velmor
