#include "linebreaks.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmor {

namespace {

// Position of the first CR or LF at or after `from`, or text.size().
std::size_t findCrOrLf(std::string_view text, std::size_t from) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    std::size_t i = from;
#if defined(__SSE2__)
    // Sixteen bytes at a time: one bit per byte equal to CR or LF.
    const __m128i crs = _mm_set1_epi8('\r');
    const __m128i lfs = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, crs), _mm_cmpeq_epi8(v, lfs)));
        if (hits != 0) return i + static_cast<std::size_t>(__builtin_ctz(hits));
    }
#endif
    // Eight bytes at a time: a byte equal to CR or LF makes the word test non-zero.
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        std::uint64_t cr = w ^ (kOnes * '\r');
        std::uint64_t lf = w ^ (kOnes * '\n');
        if ((((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs) break;
    }
    for (; i < n; ++i) {
        if (p[i] == '\r' || p[i] == '\n') return i;
    }
    return n;
}

// Number of lead bytes directly before position i. The byte before such a run is
// not a lead byte, so the run starts on a character boundary, and an odd run
// makes the byte at i the second byte of a double-byte character.
std::size_t leadRunBefore(std::string_view text, std::size_t i) {
    std::size_t k = 0;
    while (k < i && isLeadByte(static_cast<std::uint8_t>(text[i - 1 - k]))) ++k;
    return k;
}

// Finds every lone CR or LF that stands on a character boundary. With `out`, also
// writes the normalised text there. Returns true when the text needs a change.
bool normalize(std::string_view text, std::string* out) {
    bool changed = false;
    std::size_t copied = 0;  // text before this has been written to out
    for (std::size_t i = findBreak(text, 0); i < text.size();) {
        std::size_t next = i + 1;
        if (text[i] == '\r' && next < text.size() && text[next] == '\n') {
            ++next;
        } else {
            if (out == nullptr) return true;
            if (!changed) out->reserve(text.size() + text.size() / 16 + 16);
            changed = true;
            out->append(text.substr(copied, i - copied));
            out->append("\r\n");
            copied = next;
        }
        i = findBreak(text, next);
    }
    if (changed) out->append(text.substr(copied));
    return changed;
}

}  // namespace

std::size_t findBreak(std::string_view text, std::size_t from) {
    std::size_t i = findCrOrLf(text, from);
    while (i < text.size() && leadRunBefore(text, i) % 2 == 1) i = findCrOrLf(text, i + 1);
    return i;
}

std::string NormalizeLineBreaks(std::string_view text) {
    std::string out;
    if (!normalize(text, &out)) out.assign(text);
    return out;
}

bool lineBreaksAreNormal(std::string_view text) {
    return !normalize(text, nullptr);
}

std::size_t findLineEnd(std::string_view text, std::size_t from) {
    std::size_t pos = from + 1;
    while (pos < text.size()) {
        const void* hit = std::memchr(text.data() + pos, '\n', text.size() - pos);
        if (hit == nullptr) break;
        std::size_t lf = static_cast<const char*>(hit) - text.data();
        if (text[lf - 1] == '\r') return lf - 1;
        pos = lf + 1;
    }
    return text.size();
}

}  // namespace velmor
