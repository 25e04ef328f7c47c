#include "bytesearch.h"

#include <string.h>

#include <algorithm>

namespace velmor {

namespace {

// Calls `found` for every place of `anchor` in `bytes` that starts before `limit`, in
// order, until it returns true.
template <typename Found>
bool eachPlace(std::string_view bytes, std::string_view anchor, std::size_t limit, Found found) {
    std::size_t pos = 0;
    while (pos < limit && pos + anchor.size() <= bytes.size()) {
        const void* hit =
            memmem(bytes.data() + pos, bytes.size() - pos, anchor.data(), anchor.size());
        if (hit == nullptr) return false;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data());
        if (at >= limit) return false;
        if (found(at)) return true;
        pos = at + 1;
    }
    return false;
}

}  // namespace

std::string_view textBytes(const Document& doc, std::size_t offset, std::size_t length,
                           std::string& scratch) {
    const std::string_view first = doc.TextChunk(offset, length);
    if (first.size() >= length || offset + first.size() >= doc.TextSize()) return first;
    scratch.assign(first);
    while (scratch.size() < length) {
        const std::string_view more =
            doc.TextChunk(offset + scratch.size(), length - scratch.size());
        if (more.empty()) break;
        scratch.append(more);
    }
    return scratch;
}

std::optional<TextMatch> searchForward(const Document& doc, std::string_view anchor,
                                       std::size_t from, std::size_t to, const MatchCheck& check,
                                       Progress* progress) {
    if (anchor.empty()) return std::nullopt;
    to = std::min(to, doc.TextSize());
    std::string scratch;
    for (std::size_t start = from; start < to; start += kSearchWindow) {
        const std::size_t starts = std::min(kSearchWindow, to - start);
        // A match starting in the window may end in the next one.
        const std::string_view bytes = textBytes(doc, start, starts + anchor.size() - 1, scratch);
        std::optional<TextMatch> match;
        eachPlace(bytes, anchor, starts, [&](std::size_t at) {
            if (const std::size_t length = check(start + at)) match = TextMatch{start + at, length};
            return match.has_value();
        });
        if (match) return match;
        tell(progress, starts);
    }
    return std::nullopt;
}

std::optional<TextMatch> searchBackward(const Document& doc, std::string_view anchor,
                                        std::size_t from, std::size_t to, const MatchCheck& check,
                                        Progress* progress) {
    if (anchor.empty()) return std::nullopt;
    from = std::min(from, doc.TextSize());
    std::string scratch;
    for (std::size_t end = from; end > to;) {
        const std::size_t start = end - std::min(kSearchWindow, end - to);
        const std::string_view bytes =
            textBytes(doc, start, end - start + anchor.size() - 1, scratch);
        std::optional<TextMatch> last;
        eachPlace(bytes, anchor, end - start, [&](std::size_t at) {
            if (const std::size_t length = check(start + at)) last = TextMatch{start + at, length};
            return false;
        });
        if (last) return last;
        tell(progress, end - start);
        end = start;
    }
    return std::nullopt;
}

}  // namespace velmor
