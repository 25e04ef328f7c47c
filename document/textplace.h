#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "document.h"

namespace velmor {

// A place in the Document's text: a 0-based line and a 0-based byte offset in it.
struct TextPlace {
    std::size_t line = 0;
    std::size_t column = 0;
    friend bool operator==(const TextPlace&, const TextPlace&) = default;
};

// Offsets of places in the file a save writes from the text: every line loses the
// space loading appended (a last byte that is no space stays) and ends in CR LF. For a
// text as opened from a file whose lines end in CR LF, that is the offset in the file.
class SavedOffsets {
  public:
    // Looks at the last byte of every line of a piece of the text the first time a
    // place in or after it is asked for, unless the lines are as loading gave them
    // (each ends in the space it appended). The Document must not change while this
    // is in use.
    SavedOffsets(const Document& doc, bool asLoaded);
    std::uint64_t offset(TextPlace place) const;

  private:
    // Lines of piece `i` whose last byte is no space, ascending.
    const std::vector<std::size_t>& spaceKept(std::size_t i) const;

    const Document& doc_;
    bool asLoaded_;
    mutable std::vector<std::vector<std::size_t>> spaceKept_;  // per piece, once looked at
    mutable std::vector<bool> looked_;
    mutable std::vector<std::size_t> keptBefore_;  // lines that kept their last byte before piece i
};

}  // namespace velmor
