#pragma once

#include "convertstep.h"

namespace velmor {

// VELMOR to Shift-JIS in one pass over `text` (see converters.h).
PartOutcome convertPartVelmorToSjis(std::string_view text, ScanState& scan, std::string& out);

// The output's usual size and its most: every byte gives at most one, but a pair's
// first byte alone at a line's end gives two, and a text without a final line end
// gains one.
constexpr OutputSize velmorToSjisSize(std::size_t n) {
    return {n + n / 16 + 64, n + n / 2 + 64};
}

}  // namespace velmor
