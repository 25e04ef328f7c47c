#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/gaijitable.h"
#include "convert/scanstate.h"

namespace velmor {

// Plain byte-by-byte versions of the fast converters (convert/converters.h) and of
// NormalizeLineBreaks (document/linebreaks.h), with the same signatures, written to
// follow the rules step by step. Tests, fuzz targets and the benchmark check the
// fast versions against them; the program does not contain them.

// With a gaiji table, a whole pair or double-byte character found in it is written
// as its mapping instead of by the arithmetic (a pair or character cut by the
// line's end never is).
void convertVelmorToSjisReference(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                                  std::string& out, const GaijiTable* gaiji = nullptr);
void convertSjisToVelmorReference(std::string_view text, ScanState& scan,
                                  std::int32_t& toVelmorDone, std::string& out,
                                  const GaijiTable* gaiji = nullptr);
bool containsKanjiInReference(std::string_view text);

std::string normalizeLineBreaksReference(std::string_view text);

}  // namespace velmor
