#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "converters.h"
#include "direction.h"
#include "scanstate.h"

namespace velmor {

// Converts the Document text of an input a piece at a time (PieceReader's pieces),
// with the bytes the window gives for the whole text in a freshly started program.
//
// What goes from one piece to the next, and why: every piece is a run of whole lines,
// and the conversions, the Document's line-break rule and the saved form all start
// afresh at a line end, so only the working pair (KanjiPair) is carried, as from line
// to line within a text. With loaded text it never changes a byte: every loaded line
// ends with the space loading appended, so no pair and no lead byte is cut by a line
// end, and the pair a line leaves is never read by the next. It is carried all the
// same, so that a piece converts exactly as the whole would for any text. Within the
// window the pair also goes on from one command to the next (ScanState).
class PieceConverter {
  public:
    explicit PieceConverter(Direction direction, PairTables tables = {});

    // Appends the converted `loaded` lines (Document text, ending in CR LF) to
    // `converted`, with their line breaks made CR LF as the Document would make them.
    void convert(std::string_view loaded, std::string& converted);
    // True when a conversion met what the window marks as converted (a kanji-in, or
    // a double-byte character).
    bool converted() const { return done_ == 1; }
    // True when the conversions since the last call met a character the report may
    // speak about (ScanState::mayReport); clears it.
    bool takeMayReport() { return std::exchange(scan_.mayReport, 0) == 1; }

  private:
    Direction direction_;
    PartCut cut_;
    ScanState scan_;
    std::int32_t done_ = 0;
};

}  // namespace velmor
