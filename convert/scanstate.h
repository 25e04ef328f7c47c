#pragma once

#include <cstdint>

#include "kanjicode.h"
#include "pairtables.h"

namespace velmor {

// The converters' process-wide scan state. Only the KanjiPair carries a value from
// one command into the next; the commands set the rest before use. The output text
// and line counters are set anew by every command, so they live in the converters.
struct ScanState {
    KanjiPair kanjiPair;
    std::int32_t KanjiMode = 0;       // 1 while inside a kanji run
    std::int32_t HasVelmorCodes = 0;  // result of the pre-scan
    // The pair tables the converters use: with the user's gaiji table, or without.
    PairTables tables;
    // Set to 1 by a conversion that met a character the report may speak about;
    // only then is the text searched for report entries.
    std::int32_t mayReport = 0;
};

}  // namespace velmor
