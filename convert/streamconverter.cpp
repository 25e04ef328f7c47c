#include "streamconverter.h"

#include <cstring>

#include "converters.h"
#include "document/linebreaks.h"
#include "document/lineloading.h"

namespace velmor {

std::size_t LineLoader::load(std::string_view bytes, bool atEnd, std::string& loaded) {
    if (finished_) return 0;
    std::size_t pos = loadWholeLines(bytes, droppedCr_,
                                     [&loaded](std::string_view text) { loaded.append(text); });
    const std::size_t n = bytes.size();
    if (pos < n && bytes[pos] == kCtrlZ) {
        finished_ = true;
    } else if (pos < n && atEnd) {
        // The last line, without LF: every CR in it is dropped.
        const std::size_t before = loaded.size();
        appendWithoutCr(loaded, bytes.data() + pos, n - pos);
        droppedCr_ |= loaded.size() - before != n - pos;
        loaded.append(" \r\n", 3);
        pos = n;
    }
    return pos;
}

std::string_view ChunkConverter::convertOnly(std::string_view loaded) {
    converted_.clear();
    if (direction_ == Direction::ToSjis) {
        convertVelmorToSjis(loaded, scan_, done_, converted_);
    } else {
        convertSjisToVelmor(loaded, scan_, done_, converted_);
    }
    if (lineBreaksAreNormal(converted_)) return converted_;
    // Every piece ends in the CR LF of its last line, which no lone break rule can
    // see past, so normalising piece by piece gives what normalising the whole does.
    normal_ = NormalizeLineBreaks(converted_);
    return normal_;
}

void ChunkConverter::convert(std::string_view loaded, std::string& saved) {
    appendSavedLines(convertOnly(loaded), saved);
}

void appendSavedLines(std::string_view text, std::string& saved) {
    saved.reserve(saved.size() + text.size() + 2);
    const std::size_t n = text.size();
    for (std::size_t pos = 0; pos < n;) {
        const std::size_t end = findLineEnd(text, pos);
        std::size_t length = end - pos;
        // Only the space that loading appended is dropped, as the save does.
        if (length > 0 && text[end - 1] == ' ') --length;
        saved.append(text.data() + pos, length);
        saved.append("\r\n", 2);
        pos = end + 2;
    }
}

}  // namespace velmor
