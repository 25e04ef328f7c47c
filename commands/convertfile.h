#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "convert/gaijitable.h"
#include "convert/streamconverter.h"
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
    bool force = false;                 // convert even text holding kanji-in sequences
    std::size_t chunkBytes = 2u << 20;  // input taken per piece
    // The user's gaiji table (null: none) and the pair tables made from it.
    const GaijiTable* gaiji = nullptr;
    PairTables tables;
    bool report = false;  // collect the conversion report of each file
    bool check = false;   // write nothing: only collect the report
};

enum class FileOutcome { Converted, Refused, Failed };

// What became of one file: enough for the error line, and for any later report.
struct FileResult {
    FileOutcome outcome = FileOutcome::Converted;
    std::string path;     // the file the refusal or failure concerns
    std::string message;  // the window's text for it
    int code = 0;         // the file error's code; 0 for a refusal
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;
    bool marked = false;      // the window would have marked the text as converted
    ConversionReport report;  // with ConvertSettings::report
};

// Converts one file as Open, the conversion and Save As in a freshly started window
// would, a piece at a time; with settings.check it only reads and converts. Refuses an input that
// loads to nothing, and, towards VELMOR without `force`, one that holds a kanji-in sequence; then,
// and on any failure, the destination is left exactly as it was. Adds the input bytes to `progress`
// as they are done.
FileResult convertFile(const FileJob& job, const ConvertSettings& settings,
                       std::atomic<std::uint64_t>& progress);

}  // namespace velmor
