#pragma once

#include "convertstep.h"

namespace velmor {

// Shift-JIS to VELMOR in one pass over `text` (see converters.h).
PartOutcome convertPartSjisToVelmor(std::string_view text, ScanState& scan, std::string& out);

// The output's usual size and its most: a run adds four bytes, and the densest runs,
// a lead byte alone before each line end, turn three bytes into eight.
constexpr OutputSize sjisToVelmorSize(std::size_t n) {
    return {n + n / 4 + 64, 3 * n + 64};
}

}  // namespace velmor
