#include "textplace.h"

#include <algorithm>

namespace velmor {

SavedOffsets::SavedOffsets(const Document& doc, bool asLoaded) : doc_(doc) {
    if (asLoaded) return;
    const std::size_t count = doc.LineCount();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view line = doc.LineAt(i);
        if (line.empty() || line.back() != ' ') spaceKept_.push_back(i);
    }
}

std::uint64_t SavedOffsets::offset(TextPlace place) const {
    // Each line before it is saved one byte shorter, unless it kept its last byte.
    const auto kept = static_cast<std::size_t>(
        std::lower_bound(spaceKept_.begin(), spaceKept_.end(), place.line) - spaceKept_.begin());
    return doc_.LineOffset(place.line) - place.line + kept + place.column;
}

}  // namespace velmor
