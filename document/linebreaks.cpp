#include "linebreaks.h"

#include <cstdint>
#include <cstring>
#include "simd.h"

namespace velmor {

namespace {

// Position of the first CR or LF at or after `from`, or text.size().
std::size_t findCrOrLf(std::string_view text, std::size_t from) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    std::size_t i = from;
#if VELMOR_SSE2
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

namespace {

// Whether the CR or LF at `i` is a line break: not the second byte of a character.
bool isBreakAt(std::string_view text, std::size_t i) {
    return leadRunBefore(text, i) % 2 == 0;
}

// The rule of normalize() for the one CR or LF at `i`: a break CR must be followed by
// LF, and a break LF must follow a break CR.
bool normalAt(std::string_view text, std::size_t i) {
    if (!isBreakAt(text, i)) return true;
    if (text[i] == '\r') return i + 1 < text.size() && text[i + 1] == '\n';
    return i > 0 && text[i - 1] == '\r' && isBreakAt(text, i - 1);
}

#if VELMOR_SSE2
// For 64 bytes at `p`: one bit per byte that is CR, LF, a lead byte (0x81-0x9F,
// 0xE0-0xFC; with bit 5 flipped these are the one range 0xA1-0xDC).
struct Masks {
    std::uint64_t cr = 0, lf = 0, lead = 0;
};
Masks masksOf64(const unsigned char* p) {
    const __m128i crs = _mm_set1_epi8('\r'), lfs = _mm_set1_epi8('\n');
    const __m128i flip = _mm_set1_epi8(0x20), low = _mm_set1_epi8(static_cast<char>(0xA1));
    const __m128i span = _mm_set1_epi8(0xDC - 0xA1);
    Masks m;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i off = _mm_sub_epi8(_mm_xor_si128(v, flip), low);
        const auto bits = [](__m128i x) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(x)));
        };
        m.cr |= bits(_mm_cmpeq_epi8(v, crs)) << (16 * k);
        m.lf |= bits(_mm_cmpeq_epi8(v, lfs)) << (16 * k);
        m.lead |= bits(_mm_cmpeq_epi8(_mm_min_epu8(off, span), off)) << (16 * k);
    }
    return m;
}
#endif

}  // namespace

// 64 bytes at a time, without a branch per line: where no CR or LF (nor the CR before
// an LF) follows a lead byte, every one is a break, and the bytes are normal when each
// CR is followed by LF and each LF follows CR. Where one does, its CRs and LFs are
// decided one by one by normalize()'s rule.
bool lineBreaksAreNormal(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
#if VELMOR_SSE2
    Masks before;  // of the 64 bytes before; none before the text
    for (; i + 64 < n; i += 64) {
        const Masks m = masksOf64(p + i);
        const std::uint64_t crBefore = m.cr << 1 | before.cr >> 63;
        const std::uint64_t leadBefore = m.lead << 1 | before.lead >> 63;
        const std::uint64_t leadTwoBefore = m.lead << 2 | before.lead >> 62;
        const std::uint64_t lfAfter = m.lf >> 1 | static_cast<std::uint64_t>(p[i + 64] == '\n')
                                                      << 63;
        before = m;
        const std::uint64_t uncertain =
            ((m.cr | m.lf) & leadBefore) | (m.lf & crBefore & leadTwoBefore);
        if (uncertain == 0) {
            if (((m.cr & ~lfAfter) | (m.lf & ~crBefore)) != 0) return false;
            continue;
        }
        for (std::uint64_t hits = m.cr | m.lf; hits != 0; hits &= hits - 1) {
            if (!normalAt(text, i + static_cast<std::size_t>(__builtin_ctzll(hits)))) return false;
        }
    }
#endif
    for (; i < n; ++i) {
        if ((p[i] == '\r' || p[i] == '\n') && !normalAt(text, i)) return false;
    }
    return true;
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
