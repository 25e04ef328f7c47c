#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/document.h"
#include "scanstate.h"

namespace velmor {

// Whole-text converters. Each reads the lines of `text` (cut at CR LF), appends
// every converted line followed by CR LF to `out`, carries scan.kanjiPair from pair
// to pair and line to line, and leaves scan.KanjiMode as the last line left it.

// VELMOR to Shift-JIS: drops the shift sequences and turns every pair inside a
// kanji run into its Shift-JIS character. Sets toSjisDone to 1 at the first kanji-in.
void convertVelmorToSjis(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                         std::string& out);

// Shift-JIS to VELMOR: brackets every run of double-byte characters with kanji-in
// and kanji-out and writes each character as its VELMOR pair. Sets toVelmorDone to 1
// at the first double-byte character.
void convertSjisToVelmor(std::string_view text, ScanState& scan, std::int32_t& toVelmorDone,
                         std::string& out);

// The same conversions with the text cut at `split`, the start of a line (0: not
// cut): both parts are converted at once, on two threads, with the same result as
// converting the whole text in one pass. The functions above choose the cut.
void convertVelmorToSjisAt(std::string_view text, std::size_t split, ScanState& scan,
                           std::int32_t& toSjisDone, std::string& out);
void convertSjisToVelmorAt(std::string_view text, std::size_t split, ScanState& scan,
                           std::int32_t& toVelmorDone, std::string& out);

// True when a kanji-in sequence stands anywhere inside a line of the text.
bool containsKanjiIn(std::string_view text);

// Plain byte-by-byte versions over the Document's lines, written to follow the rules
// step by step. The fast versions above are tested against them.
void convertVelmorToSjisReference(const Document& doc, ScanState& scan, std::int32_t& toSjisDone,
                                  std::string& out);
void convertSjisToVelmorReference(const Document& doc, ScanState& scan, std::int32_t& toVelmorDone,
                                  std::string& out);
bool containsKanjiInReference(const Document& doc);

}  // namespace velmor
