#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/convertfile.h"

namespace velmor {

// What the command line asks for, checked as a whole before any file is touched.
struct CommandLine {
    ConvertSettings settings;
    std::vector<FileJob> jobs;
    unsigned parallelFiles = 1;  // files converted at the same time
    // No progress line and no loss summaries (the bytes after an end mark are still
    // told).
    bool quiet = false;
    // The conversion report: printed on standard error (--report, at most maxReport
    // entries per kind and file), written as JSON (--report-json), or only checked.
    bool printReport = false;
    std::size_t maxReport = 20;
    std::string reportJson;
    // --restore-kept: put back what interrupted runs kept, and nothing else.
    bool restoreKept = false;
    // The gaiji table in use (the window's by default, or --gaiji), which
    // settings.gaiji and settings.tables use; gaijiPath is empty without one.
    std::string gaijiPath;
    GaijiTable gaiji;
    std::shared_ptr<const GaijiPairTables> gaijiTables;
};

// Exit statuses. Where several apply, 2 comes before anything is converted; then a
// refused or failed file (1) wins over losses found by --check (3). A closed reader
// of the output ends the program by SIGPIPE, as it does other filters.
inline constexpr int kExitConverted = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitWouldLose = 3;  // --check: some file would lose something

// Parses the arguments. `commandLine` must stay where it is: its settings point
// into its gaiji table. Returns the exit status when the program is done already:
// after --help or --version (0), or after telling a usage error on standard error (2).
std::optional<int> parseCommandLine(int argc, char** argv, CommandLine& commandLine);

}  // namespace velmor
