// Shift-JIS to VELMOR, fast: the text is walked once and written through a raw
// pointer into the output string; bytes below 0x80 are copied sixteen at a time and
// every double-byte character is looked up in a table built from the pair arithmetic.
#include "sjistovelmor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "bytescan.h"
#include "document/linebreaks.h"
#include "outputbuffer.h"
#include "pairtables.h"

namespace velmor {

namespace {

// Each step writes at most four bytes per byte it consumes (a kanji-in and a pair
// for a lead byte alone at a line's end); a sixteen-byte copy may write 16 more.
constexpr std::size_t sjisRoom(std::size_t bytes) {
    return 4 * bytes + 64;
}

// The range of every one-byte piece, for a lead byte alone at a line's end.
std::array<Byte, 256> buildSingleRanges() {
    std::array<Byte, 256> ranges{};
    for (unsigned b = 0; b < 256; ++b) {
        const char piece = static_cast<char>(b);
        ranges[b] = static_cast<Byte>(rangeOf(std::string_view(&piece, 1)));
    }
    return ranges;
}

class SjisToVelmor {
  public:
    SjisToVelmor(std::string_view text, ScanState& scan, std::string& out)
        : text_(text),
          in_(bytesOf(text)),
          n_(text.size()),
          out_(out, sjisToVelmorSize(n_).expected, sjisToVelmorSize(n_).bound),
          table_(*scan.tables.toVelmor),
          pair_(scan.kanjiPair) {}

    // Returns true when a character was converted. Leaves the pair and the mode in `scan`.
    // Kept out of line: inlined into its caller, GCC 12 compiles the conversion
    // loop into about a fifth more instructions.
    [[gnu::noinline]] bool run(ScanState& scan) {
        while (p_ < n_) {
            std::size_t chunkEnd = std::min(n_, p_ + kChunk);
            char* w = out_.room(sjisRoom(chunkEnd - p_));
            // Sixteen bytes ahead are readable in the fast loop; the tail goes byte by byte.
            std::size_t fastEnd = n_ >= 16 ? std::min(chunkEnd, n_ - 16) : 0;
            w = fastSteps(w, fastEnd);
            while (p_ < chunkEnd) w = step(w);
            out_.commit(w);
        }
        char* w = out_.room(4);
        if (inRun_) w = closeRun(w);
        if (n_ > 0 && !endsWithCrLf(text_)) w = putCode(w, {'\r', '\n'});
        out_.commit(w);
        scan.KanjiMode = 0;
        scan.kanjiPair = pair_;
        if (lossy_ != 0) scan.mayReport = 1;
        return converted_;
    }

    // True when the output depended on the pair the scan started with: a lead byte
    // alone at a line's end took its second byte before any pair was written.
    bool usedStartingPair() const { return usedStartingPair_; }
    // True when a pair was written, and so the working pair changed.
    bool wrotePair() const { return converted_; }
    // True when a pair was written that does not depend on the starting pair.
    bool settledPair() const { return settled_; }

  private:
    char* closeRun(char* w) {
        inRun_ = false;
        return putCode(w, kKanjiOut);
    }

    char* openRun(char* w) {
        inRun_ = true;
        converted_ = true;
        return putCode(w, kKanjiInWritten);
    }

    // A byte in no range: copied, closing an open run first. A line break closes a
    // run the same way, since CR is such a byte.
    char* single(char* w, Byte b) {
        if (inRun_) w = closeRun(w);
        *w++ = static_cast<char>(b);
        ++p_;
        return w;
    }

    char* pairOf(char* w, const VelmorOut& entry) {
        settled_ = true;
        if (!inRun_) w = openRun(w);
        std::memcpy(w, entry.bytes, 2);
        pair_ = {entry.bytes[0], entry.bytes[1]};
        p_ += 2;
        return w + 2;
    }

    // A byte alone at its line's end: a piece of one byte, which takes the second
    // byte the pair last held. It is used up with the line: the break comes next.
    char* lastOfLine(char* w, Byte b) {
        static const std::array<Byte, 256> kSingleRanges = buildSingleRanges();
        int range = kSingleRanges[b];
        if (isLeadByte(b)) lossy_ = 1;  // a character cut by the line's end
        if (range == 0) return single(w, b);
        // Every pair written opens or extends a run, so none was written before
        // unless something was converted.
        if (range != kUserDefinedRange && !converted_) usedStartingPair_ = true;
        if (range == kUserDefinedRange) settled_ = true;  // always two spaces
        if (!inRun_) w = openRun(w);
        if (range != kUserDefinedRange) pair_.first = b;
        sjisPairToVelmor(pair_, range == kUserDefinedRange);
        ++p_;
        return putPair(w, pair_);
    }

    // One piece anywhere, with every bound checked.
    char* step(char* w) {
        Byte b = in_[p_];
        if (b < 0x80) return single(w, b);
        bool alone = p_ + 1 == n_ || (in_[p_ + 1] == '\r' && p_ + 2 < n_ && in_[p_ + 2] == '\n');
        if (alone) return lastOfLine(w, b);
        const VelmorOut& entry = table_[b << 8 | in_[p_ + 1]];
        lossy_ |= entry.lossy;
        return entry.inRange ? pairOf(w, entry) : single(w, b);
    }

    // The table's index of the two bytes at `q`, read in one load.
    static std::size_t indexAt(const Byte* q) {
        std::uint16_t bytes;
        std::memcpy(&bytes, q, 2);
        return std::endian::native == std::endian::little ? std::rotl(bytes, 8) : bytes;
    }

    // Pieces while p_ < end, with at least 16 bytes readable after p_. Bytes below
    // 0x80 (never in a range) are copied sixteen at a time, and a run of characters
    // that are clean pairs (the common case) is written by a loop of its own, which
    // tests nothing else per character. The scan state lives in locals here: the
    // output is written through a char pointer, which may alias any member, so
    // members would be reloaded after every byte written. The working pair is the
    // last pair written, read back from the output where a run ends.
    char* fastSteps(char* w, std::size_t end) {
        const Byte* const in = in_;
        const VelmorOut* const table = table_.data();
        const Byte* q = in + p_;
        const Byte* const stop = in + end;
        bool inRun = inRun_;
        bool converted = converted_;
        bool settled = settled_;
        Byte lossy = lossy_;
        KanjiPair last = pair_;
        const auto closeRun = [&] {
            last = {static_cast<Byte>(w[-2]), static_cast<Byte>(w[-1])};
            w = putCode(w, kKanjiOut);
            inRun = false;
        };
        while (q < stop) {
            if (*q < 0x80) {
                if (inRun) closeRun();
                for (;;) {
                    copy16(w, q);
                    std::uint32_t high = highBytes16(q);
                    if (high != 0) {
                        unsigned k = static_cast<unsigned>(__builtin_ctz(high));
                        q += k;
                        w += k;
                        break;
                    }
                    q += 16;
                    w += 16;
                    if (q >= stop) break;
                }
                continue;
            }
            const VelmorOut* entry = &table[indexAt(q)];
            if (!entry->cleanPair()) {
                // A lead byte before its line's CR LF is a piece of its own; a piece
                // whose second byte is a CR never reads as a clean pair.
                if (q[1] == '\r' && q[2] == '\n') {
                    if (inRun) last = {static_cast<Byte>(w[-2]), static_cast<Byte>(w[-1])};
                    p_ = static_cast<std::size_t>(q - in);
                    inRun_ = inRun;
                    converted_ = converted;
                    settled_ = settled;
                    lossy_ = lossy;
                    pair_ = last;
                    w = lastOfLine(w, *q);
                    q = in + p_;
                    inRun = inRun_;
                    converted = converted_;
                    settled = settled_;
                    lossy = lossy_;
                    last = pair_;
                    continue;
                }
                lossy |= entry->lossy;
                if (!entry->inRange) {
                    if (inRun) closeRun();
                    *w++ = static_cast<char>(*q++);
                    continue;
                }
            }
            if (!inRun) {
                w = putCode(w, kKanjiInWritten);
                inRun = true;
                converted = true;
                settled = true;
            }
            // The run's pairs, while they are clean.
            for (;;) {
                std::memcpy(w, entry->bytes, 2);
                w += 2;
                q += 2;
                if (q >= stop || *q < 0x80) break;
                entry = &table[indexAt(q)];
                if (!entry->cleanPair()) break;
            }
        }
        p_ = static_cast<std::size_t>(q - in);
        if (inRun) last = {static_cast<Byte>(w[-2]), static_cast<Byte>(w[-1])};
        inRun_ = inRun;
        converted_ = converted;
        settled_ = settled;
        lossy_ = lossy;
        pair_ = last;
        return w;
    }

    std::string_view text_;
    const Byte* in_;
    std::size_t n_;
    OutputBuffer out_;
    const SjisToVelmorTable& table_;
    KanjiPair pair_;
    std::size_t p_ = 0;
    bool inRun_ = false;
    bool converted_ = false;
    bool settled_ = false;
    bool usedStartingPair_ = false;
    Byte lossy_ = 0;  // nonzero once a piece the report may speak about was met
};

}  // namespace

PartOutcome convertPartSjisToVelmor(std::string_view text, ScanState& scan, std::string& out) {
    SjisToVelmor converter(text, scan, out);
    bool met = converter.run(scan);
    return {met, converter.usedStartingPair(), converter.wrotePair(), converter.settledPair()};
}

}  // namespace velmor
