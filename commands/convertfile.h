#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "conversionrules.h"
#include "convert/gaijitable.h"
#include "convert/pairtables.h"
#include "document/progress.h"
#include "document/report.h"

namespace velmor {

// One input and where its conversion goes. "-" stands for the standard streams.
struct FileJob {
    std::string input;
    std::string output;
};

inline constexpr char kStandardStream[] = "-";

struct ConvertSettings {
    Direction direction = Direction::ToSjis;
    ConversionPolicy policy;            // force and strict; nothing is asked
    std::size_t chunkBytes = 2u << 20;  // input taken per piece
    // The user's gaiji table (null: none) and the pair tables made from it.
    const GaijiTable* gaiji = nullptr;
    PairTables tables;
    bool report = false;  // collect the conversion report of each file
    bool check = false;   // write nothing: only collect the report
    // The output may be the input itself (--in-place); else a file whose output is its
    // input, under any name, standard input and output included, is refused before
    // anything is written.
    bool inPlace = false;
    // The descriptors "-" stands for.
    int standardInput = STDIN_FILENO;
    int standardOutput = STDOUT_FILENO;
};

enum class FileOutcome { Converted, Refused, Failed };

// What became of one file: enough for the error line, and for any later report.
struct FileResult {
    FileOutcome outcome = FileOutcome::Converted;
    Refusal refusal = Refusal::None;  // why it was refused
    std::string path;                 // the file the refusal or failure concerns
    std::string message;              // the window's text for it
    int code = 0;                     // a file error's code (EInOutError); 0 otherwise
    int systemError = 0;              // the errno behind the code, where there is one
    std::string keptCopy;             // where the old content of the output is kept, if anywhere
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;
    bool resourcesShort = false;  // failed for lack of memory or descriptors
    bool marked = false;          // the window would have marked the text as converted
    ConversionReport report;      // with ConvertSettings::report
};

// Converts one file as Open, the conversion and Save As in a freshly started window
// would, a piece at a time through the pipeline the window uses; with settings.check
// it only reads and converts. What it refuses is what ruleOnConversion says for the
// settings' policy; with `strict`, a first pass finds whether anything would be
// lost. A refused or failed file leaves its destination exactly as it was. Tells
// `progress` the input bytes as they are done.
FileResult convertFile(const FileJob& job, const ConvertSettings& settings,
                       Progress* progress = nullptr);

}  // namespace velmor
