// Fast whole-text converters. They walk the text once and copy runs of bytes that
// need no change in bulk; only bytes that may start a shift sequence (VELMOR) or a
// double-byte character (Shift-JIS) go through the per-pair path.
#include "converters.h"

#include <array>
#include <cstring>

#include "document/linebreaks.h"
#include "kanjicode.h"

namespace velmor {

namespace {

using Byte = std::uint8_t;

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

Byte at(std::string_view text, std::size_t i) { return static_cast<Byte>(text[i]); }

void putPair(std::string& out, KanjiPair pair) {
    const char bytes[2] = {static_cast<char>(pair.first), static_cast<char>(pair.second)};
    out.append(bytes, 2);
}

void putCode(std::string& out, const Code2& code) { putPair(out, {code[0], code[1]}); }

bool endsWithCrLf(std::string_view text) {
    return text.size() >= 2 && text[text.size() - 2] == '\r' && text.back() == '\n';
}

// Reserve for the output: the input plus a margin; the string grows if needed.
void reserveFor(std::string& out, std::size_t inputSize) {
    out.reserve(out.size() + inputSize + inputSize / 4 + 64);
}

// ---- VELMOR to Shift-JIS ----

bool isKanjiInSecond(Byte b) { return b == 0x70 || b == 0xF0 || b == 0x74 || b == 0x4C; }

// One pair inside a kanji run, as the working pair comes out of it.
KanjiPair velmorPairToSjis(Byte first, Byte second) {
    KanjiPair pair = first == 0x20 ? KanjiPair{0x21, 0x21}
                                   : KanjiPair{static_cast<Byte>(first - 0x80),
                                               static_cast<Byte>(second - 0x80)};
    sjishenkan(pair);
    return pair;
}

// ---- Shift-JIS to VELMOR ----

// For each first byte, the second bytes [lo, hi] that put a two-byte piece in a
// range, and that range's number; a lead byte shared by two ranges (0x98) has two.
struct LeadRanges {
    struct Span {
        Byte lo = 1, hi = 0;  // empty
        Byte range = 0;
    };
    std::array<Span, 2> spans;
    Byte singleRange = 0;  // range of the one-byte piece made of this byte
};

constexpr std::array<LeadRanges, 256> buildLeadRanges() {
    std::array<LeadRanges, 256> table{};
    for (std::size_t r = 0; r < kSjisRanges.size(); ++r) {
        const SjisRange& range = kSjisRanges[r];
        const Byte number = static_cast<Byte>(r + 1);
        for (unsigned f = range.lower[0]; f <= range.upper[0]; ++f) {
            LeadRanges& lead = table[f];
            Byte lo = f == range.lower[0] ? range.lower[1] : 0x00;
            Byte hi = f == range.upper[0] ? range.upper[1] : 0xFF;
            std::size_t slot = lead.spans[0].range == 0 ? 0 : 1;
            lead.spans[slot] = {lo, hi, number};
            // A lone byte lies in a range when above the lower bound's first byte.
            if (f > range.lower[0] && lead.singleRange == 0) lead.singleRange = number;
        }
    }
    return table;
}

constexpr std::array<LeadRanges, 256> kLeadRanges = buildLeadRanges();

int rangeOfPair(Byte first, Byte second) {
    for (const auto& span : kLeadRanges[first].spans) {
        if (span.range != 0 && second >= span.lo && second <= span.hi) return span.range;
    }
    return 0;
}

// Position of the first byte >= 0x80 at or after `from`, or text.size().
std::size_t findHighByte(std::string_view text, std::size_t from) {
    const char* p = text.data();
    std::size_t i = from;
    const std::size_t n = text.size();
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & kHighs) break;
    }
    for (; i < n; ++i) {
        if (at(text, i) >= 0x80) return i;
    }
    return n;
}

}  // namespace

void convertVelmorToSjis(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                         std::string& out) {
    reserveFor(out, text.size());
    KanjiPair pair = scan.kanjiPair;
    int mode = 0;
    const std::size_t n = text.size();
    std::size_t p = 0;
    std::size_t lineEnd = 0;  // end of the line holding p, valid while lineEnd >= p
    bool lineEndKnown = false;
    while (p < n) {
        // Outside a run every byte is copied, line breaks included, up to the next 0x93.
        const void* hit = std::memchr(text.data() + p, 0x93, n - p);
        std::size_t q = hit ? static_cast<const char*>(hit) - text.data() : n;
        out.append(text.data() + p, q - p);
        p = q;
        if (p >= n) break;
        // A piece that crosses a line end is never a sequence: no sequence ends in CR.
        Byte next = p + 1 < n ? at(text, p + 1) : 0;
        if (p + 1 < n && next == kKanjiOut[1]) {
            p += 2;
            continue;
        }
        if (p + 1 >= n || !isKanjiInSecond(next)) {
            out.push_back(static_cast<char>(0x93));
            p += 1;
            continue;
        }
        toSjisDone = 1;
        mode = 1;
        p += 2;
        if (!lineEndKnown || lineEnd < p) {
            lineEnd = findLineEnd(text, p);
            lineEndKnown = true;
        }
        // Inside a run the scan moves by pairs until a kanji-out or the line's end.
        while (p < lineEnd) {
            Byte first = at(text, p);
            bool hasSecond = p + 1 < lineEnd;
            if (first == 0x93 && hasSecond) {
                Byte second = at(text, p + 1);
                if (isKanjiInSecond(second)) {
                    p += 2;
                    continue;
                }
                if (second == kKanjiOut[1]) {
                    mode = 0;
                    p += 2;
                    break;
                }
            }
            pair = velmorPairToSjis(first, hasSecond ? at(text, p + 1) : pair.second);
            putPair(out, pair);
            p += 2;
        }
        // A run left open at the line's end simply ends; the next line starts outside.
        if (mode == 1 && p >= lineEnd) p = lineEnd;
    }
    if (n > 0 && !endsWithCrLf(text)) out += "\r\n";
    // Only a run still open at the end of the last line leaves the scan inside a run.
    if (mode == 1 && lineEnd + 2 < n) mode = 0;
    scan.kanjiPair = pair;
    scan.KanjiMode = mode;
}

void convertSjisToVelmor(std::string_view text, ScanState& scan, std::int32_t& toVelmorDone,
                         std::string& out) {
    reserveFor(out, text.size());
    KanjiPair pair = scan.kanjiPair;
    int mode = 0;
    const std::size_t n = text.size();
    std::size_t p = 0;
    while (p < n) {
        // Bytes below 0x80 are never in a range: copy them, closing an open run first.
        // A line break closes a run the same way, since CR is such a byte.
        std::size_t q = findHighByte(text, p);
        if (q > p) {
            if (mode == 1) {
                putCode(out, kKanjiOut);
                mode = 0;
            }
            out.append(text.data() + p, q - p);
            p = q;
            if (p >= n) break;
        }
        const Byte first = at(text, p);
        const bool lastOfLine =
            p + 1 == n || (at(text, p + 1) == '\r' && p + 2 < n && at(text, p + 2) == '\n');
        const int range = lastOfLine ? kLeadRanges[first].singleRange
                                     : rangeOfPair(first, at(text, p + 1));
        if (range == 0) {
            if (mode == 1) {
                putCode(out, kKanjiOut);
                mode = 0;
            }
            out.push_back(static_cast<char>(first));
            p += 1;
            continue;
        }
        toVelmorDone = 1;
        if (mode == 0) {
            putCode(out, kKanjiInWritten);
            mode = 1;
        }
        if (range == kUserDefinedRange) {
            pair = {0x21, 0x21};
        } else {
            pair.first = first;
            if (!lastOfLine) pair.second = at(text, p + 1);
            jishenkan(pair);
        }
        if (pair.first == 0x21 && pair.second == 0x21) {
            pair = {0x20, 0x20};
        } else {
            pair.first += 0x80;
            pair.second += 0x80;
        }
        putPair(out, pair);
        // A one-byte piece at a line's end is used up with the line: continue at the break.
        p += lastOfLine ? 1 : 2;
    }
    if (mode == 1) {
        putCode(out, kKanjiOut);
        mode = 0;
    }
    if (n > 0 && !endsWithCrLf(text)) out += "\r\n";
    scan.kanjiPair = pair;
    scan.KanjiMode = mode;
}

bool containsKanjiIn(std::string_view text) {
    std::size_t p = 0;
    while (p < text.size()) {
        const void* hit = std::memchr(text.data() + p, 0x93, text.size() - p);
        if (hit == nullptr) return false;
        p = static_cast<const char*>(hit) - text.data() + 1;
        // The byte after 0x93 is in the same line unless it is a break's CR, which is
        // no kanji-in's second byte.
        if (p < text.size() && isKanjiInSecond(at(text, p))) return true;
    }
    return false;
}

}  // namespace velmor
