#include "streamconverter.h"

#include <cstring>

#include "converters.h"
#include "document/linebreaks.h"

namespace velmor {

namespace {

constexpr char kCtrlZ = 0x1A;

// Appends `size` bytes at `piece` to `out` without their CR bytes.
void appendWithoutCr(std::string& out, const char* piece, std::size_t size) {
    while (size > 0) {
        const void* cr = std::memchr(piece, '\r', size);
        std::size_t keep = cr ? static_cast<const char*>(cr) - piece : size;
        out.append(piece, keep);
        if (!cr) break;
        piece += keep + 1;
        size -= keep + 1;
    }
}

}  // namespace

std::size_t LineLoader::load(std::string_view bytes, bool atEnd, std::string& loaded) {
    const char* data = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t pos = 0;
    while (pos < n && !finished_) {
        if (data[pos] == kCtrlZ) {
            finished_ = true;
            break;
        }
        const void* lf = std::memchr(data + pos, '\n', n - pos);
        if (lf == nullptr && !atEnd) break;  // the line goes on in bytes not yet read
        std::size_t end = lf ? static_cast<const char*>(lf) - data : n;
        const std::size_t before = loaded.size();
        appendWithoutCr(loaded, data + pos, end - pos);
        // Every CR was dropped; only one right before the LF belonged to the line end.
        const std::size_t dropped = end - pos - (loaded.size() - before);
        droppedCr_ |= dropped > (lf != nullptr && end > pos && data[end - 1] == '\r' ? 1u : 0u);
        loaded.append(" \r\n", 3);
        pos = lf ? end + 1 : n;
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
