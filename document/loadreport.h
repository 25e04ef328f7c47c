#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "piecereader.h"
#include "report.h"

namespace velmor {

// Finds what loading `file` (its whole bytes) leaves out: the lone CRs it drops and
// the bytes after a Ctrl-Z at a line start. Splits the file the way the loader
// does, one byte at a time, and adds an entry to `report` for each such place.
void locateLoadEntries(std::string_view file, ConversionReport& report);

// Adds `entries`, found in a piece of the input, to `report` at their places in the
// whole input: the piece begins after `lines` lines.
void addShifted(const ConversionReport& entries, std::uint64_t lines, ConversionReport& report);

// Adds the entry for the bytes after an end mark, which were not loaded.
void addAfterEndMark(const AfterEndMark& mark, ConversionReport& report);

// Maps a column of a loaded line back to the file: past every lone CR that loading
// dropped before it. Built from the lone-cr entries of a load report.
class LoadColumnMap {
  public:
    explicit LoadColumnMap(const ConversionReport& load);
    // The 1-based file column of the 1-based column `loaded` of 1-based line `line`.
    std::size_t fileColumn(std::size_t line, std::size_t loaded) const;

  private:
    std::unordered_map<std::size_t, std::vector<std::size_t>> loneCrs_;  // columns, ascending
};

}  // namespace velmor
