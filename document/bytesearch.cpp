#include "bytesearch.h"

#include <string.h>

#include <algorithm>
#include <cstring>

#include "simd.h"

namespace velmor {

std::size_t findBytes(std::string_view bytes, std::string_view anchor, std::size_t from) {
    const std::size_t m = anchor.size();
    if (m == 0 || from + m > bytes.size()) return std::string_view::npos;
    const char* const p = bytes.data();
    std::size_t i = from;
#if VELMOR_SSE2
    // Sixteen places at a time: those whose first and last bytes are the anchor's.
    if (m >= 2) {
        const __m128i first = _mm_set1_epi8(anchor.front());
        const __m128i last = _mm_set1_epi8(anchor.back());
        for (; i + m - 1 + 16 <= bytes.size(); i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
            auto hits = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
            for (; hits != 0; hits &= hits - 1) {
                const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(hits));
                if (std::memcmp(p + at + 1, anchor.data() + 1, m - 2) == 0) return at;
            }
        }
    }
#endif
    if (i + m > bytes.size()) return std::string_view::npos;
    const void* hit = memmem(p + i, bytes.size() - i, anchor.data(), m);
    return hit == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - p);
}

namespace {

// Calls `found` for every place of `anchor` in `bytes` that starts before `limit`, in
// order, until it returns true.
template <typename Found>
bool eachPlace(std::string_view bytes, std::string_view anchor, std::size_t limit, Found found) {
    for (std::size_t at = findBytes(bytes, anchor, 0); at < limit;
         at = findBytes(bytes, anchor, at + 1)) {
        if (found(at)) return true;
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
