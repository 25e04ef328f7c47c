#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kanjicode.h"
#include "scanstate.h"

namespace velmor {

// What the two fast converters (velmortosjis.cpp, sjistovelmor.cpp) share.

using Byte = std::uint8_t;

// Input is handled in chunks of this size; each chunk first makes room for the most
// output it can give.
inline constexpr std::size_t kChunk = 64 * 1024;

inline const Byte* bytesOf(std::string_view text) {
    return reinterpret_cast<const Byte*>(text.data());
}

inline char* putCode(char* w, const Code2& code) {
    w[0] = static_cast<char>(code[0]);
    w[1] = static_cast<char>(code[1]);
    return w + 2;
}

inline char* putPair(char* w, KanjiPair pair) {
    w[0] = static_cast<char>(pair.first);
    w[1] = static_cast<char>(pair.second);
    return w + 2;
}

// How converting one part of a text went, for joining parts converted at once.
struct PartOutcome {
    bool met = false;               // the conversion's mark: a kanji-in, or a character converted
    bool usedStartingPair = false;  // the output depended on the pair the scan started with
    bool wrotePair = false;         // a pair was written, so the working pair changed
    // A pair was written that owes nothing to the pair the scan started with (a
    // character's pair, or the fixed pair of a space or user-defined character): from
    // there on nothing depends on the starting pair.
    bool settledPair = false;
};

// The output's usual size and its most for an input of n bytes.
struct OutputSize {
    std::size_t expected;
    std::size_t bound;
};

using OutputSizeOf = OutputSize (*)(std::size_t n);

// Converts a whole text (or one part of it, cut at a line start) and appends the
// result to `out`; leaves the pair and the mode in `scan`.
using PartConverter = PartOutcome (*)(std::string_view text, ScanState& scan, std::string& out);

}  // namespace velmor
