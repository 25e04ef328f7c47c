#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "piecereader.h"

namespace velmor {

// The saved form that keeps the input's line ends (keep-line-ends), beside the one
// PieceWriter writes: every line of `text` without the space loading appended, then
// the line end it was read with, and no line end after a last line read without one
// and no further line. `text` is Document text (a converted piece) cut into the
// input's lines at `lineEnds`, the offsets just past each line's CR LF; `endsRead`
// tells how each ended. What stands inside a line is kept as it is, also a CR LF a
// conversion wrote into it. Appends to `out`.
void appendKeptLineEnds(std::string_view text, std::span<const std::size_t> lineEnds,
                        std::span<const LineEndRead> endsRead, std::string& out);

}  // namespace velmor
