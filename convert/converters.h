#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "document/progress.h"
#include "document/threads.h"
#include "scanstate.h"

namespace velmor {

// Where `cut` cuts `text`: the start of every part but the first, in increasing
// order, each at the start of a line (after a CR LF). Empty when the text stays whole.
std::vector<std::size_t> partStarts(std::string_view text, const PartCut& cut);

// Whole-text converters. Each reads the lines of `text` (cut at CR LF), appends
// every converted line followed by CR LF to `out`, carries scan.kanjiPair from pair
// to pair and line to line, and leaves scan.KanjiMode as the last line left it.
// Texts long enough are cut by `cut` and the parts are converted at once; the result
// is the same for any cut. With a `progress`, each part is converted in slices and
// the progress is told each slice's bytes once converted; it may stop the conversion
// (EAbort), before anything is handed back.

// VELMOR to Shift-JIS: drops the shift sequences and turns every pair inside a
// kanji run into its Shift-JIS character. Sets toSjisDone to 1 at the first kanji-in.
void convertVelmorToSjis(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                         std::string& out, const PartCut& cut = PartCut::forThisMachine(),
                         Progress* progress = nullptr);

// Shift-JIS to VELMOR: brackets every run of double-byte characters with kanji-in
// and kanji-out and writes each character as its VELMOR pair. Sets toVelmorDone to 1
// at the first double-byte character.
void convertSjisToVelmor(std::string_view text, ScanState& scan, std::int32_t& toVelmorDone,
                         std::string& out, const PartCut& cut = PartCut::forThisMachine(),
                         Progress* progress = nullptr);

// The same conversions with the text cut at `starts` (increasing line starts inside
// the text, as partStarts gives them).
void convertVelmorToSjisAt(std::string_view text, std::span<const std::size_t> starts,
                           ScanState& scan, std::int32_t& toSjisDone, std::string& out);
void convertSjisToVelmorAt(std::string_view text, std::span<const std::size_t> starts,
                           ScanState& scan, std::int32_t& toVelmorDone, std::string& out);

// True when a kanji-in sequence stands anywhere inside a line of the text.
bool containsKanjiIn(std::string_view text);
// Where the first kanji-in sequence of the text starts (as the pre-scan finds it,
// wherever its two bytes stand); npos when there is none.
std::size_t findKanjiIn(std::string_view text);

}  // namespace velmor
