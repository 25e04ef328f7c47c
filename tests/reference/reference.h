#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/scanstate.h"

namespace velmor {

// Plain byte-by-byte versions of the fast converters (convert/converters.h) and of
// NormalizeLineBreaks (document/linebreaks.h), with the same signatures, written to
// follow the rules step by step. Tests, fuzz targets and the benchmark check the
// fast versions against them; the program does not contain them.

void convertVelmorToSjisReference(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                                  std::string& out);
void convertSjisToVelmorReference(std::string_view text, ScanState& scan,
                                  std::int32_t& toVelmorDone, std::string& out);
bool containsKanjiInReference(std::string_view text);

std::string normalizeLineBreaksReference(std::string_view text);

}  // namespace velmor
