#pragma once

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
    bool quiet = false;
};

inline constexpr int kExitConverted = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// Parses the arguments. Returns the exit status when the program is done already:
// after --help or --version (0), or after telling a usage error on standard error (2).
std::optional<int> parseCommandLine(int argc, char** argv, CommandLine& commandLine);

}  // namespace velmor
