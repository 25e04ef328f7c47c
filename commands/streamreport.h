#pragma once

#include <cstddef>

#include "chunkreader.h"
#include "convert/gaijitable.h"
#include "convert/reportlocator.h"
#include "document/report.h"

namespace velmor {

// The conversion report of one file converted a piece at a time: each piece's
// entries are found as the window finds them for the whole file, and their lines
// counted on from the pieces before.
class StreamReport {
  public:
    StreamReport(Direction direction, const GaijiTable* table)
        : direction_(direction), table_(table) {}

    // Adds the entries of `piece`, just converted; `mayReport` is what the converter
    // said of it (ChunkConverter::takeMayReport).
    void addPiece(const LoadedPiece& piece, bool mayReport);

    const ConversionReport& report() const { return report_; }

  private:
    void addShifted(const ConversionReport& found);

    Direction direction_;
    const GaijiTable* table_;
    ConversionReport report_;
    std::size_t linesBefore_ = 0;
};

}  // namespace velmor
