#pragma once

#include <string_view>
#include <vector>

#include "document/piecereader.h"
#include "document/report.h"
#include "gaijitable.h"
#include "pairtables.h"
#include "utf8step.h"

namespace velmor {

// The report of --to-utf8 and --from-utf8 a piece at a time, with places and bytes
// of the input file, as addPieceEntries gives it for the other directions.

// --to-utf8, beside addPieceEntries: an entry for every byte sequence of the piece's
// Shift-JIS that has no Unicode form, at the input bytes whose conversion gave it.
// Run only for a piece whose UTF-8 step lost something: each line is converted again
// on its own, with `tables`, to find where.
void addToUtf8Entries(const LoadedPiece& piece, const PairTables& tables, ConversionReport& report);

// --from-utf8, in place of addPieceEntries: what loading the piece loses, what its
// UTF-8 step lost (`losses`, offsets in piece.text), and what converting `sjis`, the
// piece's text after that step, loses (with `mayReport`, as addPieceEntries takes it),
// placed in the UTF-8 input and naming its bytes.
void addFromUtf8Entries(const LoadedPiece& piece, std::string_view sjis,
                        const std::vector<CharsetLoss>& losses, const GaijiTable* table,
                        bool mayReport, ConversionReport& report);

}  // namespace velmor
