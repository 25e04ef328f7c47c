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

// Converting a file of any size a piece at a time, with the bytes the window gives
// for Open, the conversion and Save As in a freshly started program. Every piece is
// a run of whole lines: the conversions, the line-break rule of the Document and
// the save all start afresh at a line end, and only the working pair crosses it.

// Cuts file bytes into lines as loading does (LF or CR LF ends a line, every CR is
// dropped, a Ctrl-Z where a line would begin ends the file) and gives each line the
// form it has in the Document: its bytes, the appended space, CR LF.
class LineLoader {
  public:
    // Appends the Document text of every complete line at the start of `bytes` to
    // `loaded` and returns how many bytes those lines took. With `atEnd` (nothing
    // follows `bytes`), the bytes after the last LF are a line too.
    std::size_t load(std::string_view bytes, bool atEnd, std::string& loaded);
    // True once a line would have begun with Ctrl-Z: nothing after it is loaded.
    bool finished() const { return finished_; }
    // True when a lone CR was dropped since the last call; clears the flag.
    bool takeDroppedCr() { return std::exchange(droppedCr_, false); }

  private:
    bool finished_ = false;
    bool droppedCr_ = false;
};

// Converts Document text, a run of whole lines at a time, carrying the working pair
// from run to run; appendSaved then gives the bytes Save As writes for each run.
class ChunkConverter {
  public:
    explicit ChunkConverter(Direction direction, PairTables tables = {});

    // Appends the converted `loaded` lines to `converted`, as the conversion gives
    // them before the Document takes them (appendSaved makes the saved form).
    // `loaded` is Document text as LineLoader gives it, ending in CR LF.
    void convert(std::string_view loaded, std::string& converted);
    // True when a conversion met what the window marks as converted (a kanji-in, or
    // a double-byte character).
    bool converted() const { return done_ == 1; }
    // True when the conversions since the last call met a character the report may
    // speak about (ScanState::mayReport); clears it.
    bool takeMayReport() { return std::exchange(scan_.mayReport, 0) == 1; }

  private:
    Direction direction_;
    PartPlan plan_;
    ScanState scan_;
    std::int32_t done_ = 0;
};

// Appends to `saved` what Save As writes for `converted`, the output of
// ChunkConverter::convert: its line breaks made CR LF as the Document makes them,
// then every line as appendSavedLines gives it.
void appendSaved(std::string_view converted, std::string& saved);

// Appends to `saved` every line of `text` as Save As writes it, without the space
// loading appended, then CR LF, and returns true; when a line break of `text` is not
// CR LF (the Document would change it), returns false and leaves `saved` as it was.
// The final extra CR LF of a file is kFinalLineEnd.
bool appendSavedLines(std::string_view text, std::string& saved);
inline constexpr std::string_view kFinalLineEnd = "\r\n";

}  // namespace velmor
