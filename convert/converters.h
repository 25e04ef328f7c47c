#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "scanstate.h"

namespace velmor {

// How a long text is cut into parts converted at once, one per core.
struct PartPlan {
    std::size_t maxParts = 1;      // at most this many parts
    std::size_t minPartBytes = 1;  // no part is cut shorter than this
    // When set, each part is converted in slices and this is told each slice's size
    // once it is converted, on the thread that converted it: a progress display's count.
    std::function<void(std::size_t bytes)> sliceDone = {};

    // The program's own plan: PartCut::forThisMachine().
    static PartPlan forThisMachine();
};

// Where `plan` cuts `text`: the start of every part but the first, in increasing
// order, each at the start of a line (after a CR LF). Empty when the text stays whole.
std::vector<std::size_t> partStarts(std::string_view text, const PartPlan& plan);

// Whole-text converters. Each reads the lines of `text` (cut at CR LF), appends
// every converted line followed by CR LF to `out`, carries scan.kanjiPair from pair
// to pair and line to line, and leaves scan.KanjiMode as the last line left it.
// Texts long enough are cut by PartPlan::forThisMachine(), or by the plan given, and
// the parts are converted at once; the result is the same for any cut.

// VELMOR to Shift-JIS: drops the shift sequences and turns every pair inside a
// kanji run into its Shift-JIS character. Sets toSjisDone to 1 at the first kanji-in.
void convertVelmorToSjis(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                         std::string& out);
void convertVelmorToSjis(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                         std::string& out, const PartPlan& plan);

// Shift-JIS to VELMOR: brackets every run of double-byte characters with kanji-in
// and kanji-out and writes each character as its VELMOR pair. Sets toVelmorDone to 1
// at the first double-byte character.
void convertSjisToVelmor(std::string_view text, ScanState& scan, std::int32_t& toVelmorDone,
                         std::string& out);
void convertSjisToVelmor(std::string_view text, ScanState& scan, std::int32_t& toVelmorDone,
                         std::string& out, const PartPlan& plan);

// The same conversions with the text cut at `starts` (increasing line starts inside
// the text, as partStarts gives them).
void convertVelmorToSjisAt(std::string_view text, std::span<const std::size_t> starts,
                           ScanState& scan, std::int32_t& toSjisDone, std::string& out);
void convertSjisToVelmorAt(std::string_view text, std::span<const std::size_t> starts,
                           ScanState& scan, std::int32_t& toVelmorDone, std::string& out);

// True when a kanji-in sequence stands anywhere inside a line of the text.
bool containsKanjiIn(std::string_view text);

}  // namespace velmor
