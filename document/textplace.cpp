#include "textplace.h"

#include <algorithm>

namespace velmor {

SavedOffsets::SavedOffsets(const Document& doc, bool asLoaded)
    : doc_(doc),
      asLoaded_(asLoaded),
      spaceKept_(asLoaded ? 0 : doc.pieceCount()),
      looked_(spaceKept_.size(), false) {
    if (!asLoaded) keptBefore_.push_back(0);
}

const std::vector<std::size_t>& SavedOffsets::spaceKept(std::size_t i) const {
    if (!looked_[i]) {
        LineWalker lines(doc_.piece(i));
        std::string_view line;
        for (std::size_t number = doc_.pieceFirstLine(i); lines.next(line); ++number) {
            if (line.empty() || line.back() != ' ') spaceKept_[i].push_back(number);
        }
        looked_[i] = true;
    }
    return spaceKept_[i];
}

std::uint64_t SavedOffsets::offset(TextPlace place) const {
    // Each line before it is saved one byte shorter, unless it kept its last byte.
    std::size_t kept = 0;
    if (!asLoaded_ && doc_.pieceCount() > 0) {
        std::size_t piece = 0;
        while (piece + 1 < doc_.pieceCount() && doc_.pieceFirstLine(piece + 1) <= place.line) {
            ++piece;
        }
        while (keptBefore_.size() <= piece) {
            const std::size_t i = keptBefore_.size() - 1;
            keptBefore_.push_back(keptBefore_.back() + spaceKept(i).size());
        }
        const std::vector<std::size_t>& lines = spaceKept(piece);
        kept = keptBefore_[piece] +
               static_cast<std::size_t>(std::lower_bound(lines.begin(), lines.end(), place.line) -
                                        lines.begin());
    }
    return doc_.LineOffset(place.line) - place.line + kept + place.column;
}

}  // namespace velmor
