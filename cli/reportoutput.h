#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "commands/convertfile.h"
#include "convert/direction.h"
#include "document/report.h"

namespace velmor {

// The lines --report prints for one file, in the order of their places: each entry
// as PATH:LINE:COLUMN: KIND: message, at most `maxPerKind` of each kind, a line
// saying how many more there are where that cut some, then a count line. Empty when
// the report is.
std::string reportLines(const std::string& path, const ConversionReport& report,
                        std::size_t maxPerKind);

// What became of one file of the run, for the JSON report.
struct FileReport {
    FileJob job;
    FileResult result;
};

// What the run did, for the JSON report.
struct RunReport {
    Direction direction = Direction::ToSjis;
    bool utf8 = false;       // --to-utf8 or --from-utf8
    bool check = false;      // nothing was written
    std::string gaijiTable;  // the gaiji table in use; empty for none
    std::size_t gaijiEntries = 0;
    std::vector<FileReport> files;
};

// The version of the JSON report's layout, raised whenever a field changes meaning
// or goes away (a new field does not raise it).
inline constexpr int kReportSchemaVersion = 1;

// The run as the one JSON document --report-json writes (its schema is in the man
// page).
std::string reportJson(const RunReport& run);

}  // namespace velmor
