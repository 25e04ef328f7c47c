#pragma once

#include <string_view>

#include "direction.h"
#include "document/loadreport.h"
#include "document/piecereader.h"
#include "document/report.h"
#include "gaijitable.h"

namespace velmor {

// Finds every place where converting `text` (the Document's text) in `direction`
// gives bytes that do not carry the input's meaning, and adds an entry for each to
// `report`. It follows the conversion rules one piece at a time, as the plain
// reference converters do, and is run only when the fast converter saw a sign of
// such a place. `table` may be null. A line's last byte, when it is a space, is
// the one loading appended: the input file's line ends before it. Columns are
// mapped to the file through `columns`; view positions are in the converted text.
// `text` may be a run of whole lines of the Document's text after `firstLine` others.
void locateConversionEntries(std::string_view text, Direction direction, const GaijiTable* table,
                             const LoadColumnMap& columns, ConversionReport& report,
                             std::size_t firstLine = 0);

// Moves the place where the view shows `entry` (in `line`, a line of the text about to
// be converted in `direction`) to where the conversion writes those bytes.
void moveViewPlace(ReportEntry& entry, std::string_view line, Direction direction,
                   const GaijiTable* table);

// Adds what loading and converting one piece of an input loses to `report`, at its
// places in the whole input: as the window finds them for the whole file. `mayReport`
// is what the converter said of the piece (PieceConverter::takeMayReport).
void addPieceEntries(const LoadedPiece& piece, Direction direction, const GaijiTable* table,
                     bool mayReport, ConversionReport& report);

}  // namespace velmor
