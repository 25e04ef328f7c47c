#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "conversionrules.h"
#include "convert/gaijitable.h"
#include "convert/pairtables.h"
#include "document/outputsink.h"
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
    // The Shift-JIS side is UTF-8, through code page 932 (Utf8Step): towards
    // Shift-JIS the output goes on to UTF-8 (--to-utf8), towards VELMOR the input
    // comes from UTF-8 (--from-utf8).
    bool utf8 = false;
    bool check = false;  // write nothing: only collect the report
    // Write every line with the line end it was read with (a lone CR is one), and no
    // line end after the last: the saved form's CR LF everywhere else.
    bool keepLineEnds = false;
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
    // Where in the input what refused it stands, when at one place: 1-based line and
    // byte column in the input file, and its bytes. Line 0: at no place in particular.
    std::uint64_t line = 0;
    std::size_t column = 0;
    std::string bytes;
    std::string message;   // the window's text for it
    int code = 0;          // a file error's code (EInOutError); 0 otherwise
    int systemError = 0;   // the errno behind the code, where there is one
    std::string keptCopy;  // where the old content of the output is kept, if anywhere
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;
    bool resourcesShort = false;  // failed for lack of memory or descriptors
    bool closedReader = false;    // failed because the reader of a stream output went away
    bool marked = false;          // the window would have marked the text as converted
    // With ConvertSettings::report, in the order of the places in the input; the bytes
    // after an end mark, which were not read, are there in any case.
    ConversionReport report;
};

// Converts one file as Open, the conversion and Save As in a freshly started window
// would, a piece at a time through the pipeline the window uses; with settings.check
// it only reads and converts. An input or output named by a path may be a FIFO or a
// character device: it is read or written straight through, as "-" is. What it refuses is what
// ruleOnConversion says for the settings' policy; with `strict`, a first pass finds whether
// anything would be lost. A refused or failed file leaves its destination exactly as it was. Tells
// `progress` the input bytes as they are done.
FileResult convertFile(const FileJob& job, const ConvertSettings& settings,
                       Progress* progress = nullptr);

// Converts `input`, bytes in memory, as convertFile converts a file with the same
// bytes, and writes the output to `output` (unused with settings.check), which a
// refused or failed conversion abandons. `name` stands for the input in the result.
FileResult convertBytes(std::string_view input, OutputSink& output, const ConvertSettings& settings,
                        const std::string& name = "-");

}  // namespace velmor
