#include "streamconverter.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "converters.h"
#include "document/linebreaks.h"
#include "document/lineloading.h"

namespace velmor {

std::size_t LineLoader::load(std::string_view bytes, bool atEnd, std::string& loaded) {
    if (finished_) return 0;
    std::size_t pos = loadWholeLines(
        bytes, droppedCr_, [&loaded](std::string_view text, auto) { loaded.append(text); });
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

namespace {

// The reading, converting and writing threads take three cores; a piece is cut into
// parts only for the cores beyond them. On two cores the
// parts' threads and the joining of their outputs cost more than they gave: 100 MB of
// prose took 0.25 s to Shift-JIS with two parts a piece and 0.20 s with one (medians
// of ten runs).
PartPlan piecePlan() {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    return PartPlan{cores > 3 ? cores - 2 : 1, std::size_t{1} << 20};
}

}  // namespace

ChunkConverter::ChunkConverter(Direction direction, PairTables tables)
    : direction_(direction), plan_(piecePlan()) {
    scan_.tables = tables;
}

void ChunkConverter::convert(std::string_view loaded, std::string& converted) {
    if (direction_ == Direction::ToSjis) {
        convertVelmorToSjis(loaded, scan_, done_, converted, plan_);
    } else {
        convertSjisToVelmor(loaded, scan_, done_, converted, plan_);
    }
}

void appendSaved(std::string_view converted, std::string& saved) {
    // The Document would make every break CR LF. Every piece ends in the CR LF of its
    // last line, which no lone break rule can see past, so normalising piece by piece
    // gives what normalising the whole does.
    if (!appendSavedLines(converted, saved)) {
        appendSavedLines(NormalizeLineBreaks(converted), saved);
    }
}

bool appendSavedLines(std::string_view text, std::string& saved) {
    const std::size_t start = saved.size();
    const std::size_t n = text.size();
    saved.resize(start + n + 2);
    char* w = saved.data() + start;
    // Writes the line [from, end) without the space that loading appended (only that
    // one: any other last byte may be the second half of a double-byte character).
    const auto put = [&](std::size_t from, std::size_t end) {
        std::size_t length = end - from;
        if (length > 0 && text[end - 1] == ' ') --length;
        std::memcpy(w, text.data() + from, length);
        w[length] = '\r';
        w[length + 1] = '\n';
        w += length + 2;
    };
    std::size_t from = 0;
    for (std::size_t i = findBreak(text, 0); i < n; i = findBreak(text, from)) {
        if (text[i] != '\r' || i + 1 == n || text[i + 1] != '\n') {
            saved.resize(start);
            return false;
        }
        put(from, i);
        from = i + 2;
    }
    if (from < n) put(from, n);
    saved.resize(static_cast<std::size_t>(w - saved.data()));
    return true;
}

}  // namespace velmor
