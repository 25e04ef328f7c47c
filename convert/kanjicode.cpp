#include "kanjicode.h"

namespace velmor {

int comparePiece(std::string_view piece, const Code2& code) {
    for (std::size_t i = 0; i < 2; ++i) {
        if (i == piece.size()) return -1;
        auto b = static_cast<std::uint8_t>(piece[i]);
        if (b != code[i]) return b < code[i] ? -1 : 1;
    }
    return piece.size() == 2 ? 0 : 1;
}

bool pieceEquals(std::string_view piece, const Code2& code) {
    return comparePiece(piece, code) == 0;
}

bool isKanjiIn(std::string_view piece) {
    for (const Code2& in : kKanjiIn) {
        if (pieceEquals(piece, in)) return true;
    }
    return false;
}

int rangeOf(std::string_view piece) {
    for (std::size_t r = 0; r < kSjisRanges.size(); ++r) {
        if (comparePiece(piece, kSjisRanges[r].lower) >= 0 &&
            comparePiece(piece, kSjisRanges[r].upper) <= 0) {
            return static_cast<int>(r) + 1;
        }
    }
    return 0;
}

}  // namespace velmor
