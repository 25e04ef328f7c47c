// VELMOR to Shift-JIS, fast: the text is walked once and written through a raw
// pointer into the output string; bytes outside runs are copied in bulk and every
// pair inside a run is looked up in a table built from the pair arithmetic.
#include "velmortosjis.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "bytescan.h"
#include "document/linebreaks.h"
#include "outputbuffer.h"
#include "pairtables.h"

namespace velmor {

namespace {

// Each step writes at most one byte per byte it consumes, plus two for a pair that
// stands alone at a line's end (its line also held a kanji-in, which wrote nothing).
constexpr std::size_t velmorRoom(std::size_t bytes) {
    return bytes + 64;
}

static_assert(sizeof(SjisOut) == 4 && offsetof(SjisOut, lossy) == 2);

// The bits of an entry read as one 32-bit word that hold its lossy flag.
constexpr std::uint32_t lossyBits() {
    return std::endian::native == std::endian::little ? 0x00FF0000u : 0x0000FF00u;
}

class VelmorToSjis {
  public:
    VelmorToSjis(std::string_view text, ScanState& scan, std::string& out)
        : text_(text),
          in_(bytesOf(text)),
          n_(text.size()),
          out_(out, velmorToSjisSize(n_).expected, velmorToSjisSize(n_).bound),
          table_(*scan.tables.toSjis),
          pair_(scan.kanjiPair) {}

    // Returns true when a kanji-in was met. Leaves the pair and the mode in `scan`.
    // Kept out of line: inlined into its caller, GCC 12 compiles the conversion
    // loop into about a fifth more instructions.
    [[gnu::noinline]] bool run(ScanState& scan) {
        while (p_ < n_) {
            std::size_t chunkEnd = std::min(n_, p_ + kChunk);
            char* w = out_.room(velmorRoom(chunkEnd - p_));
            w = inRun_ ? runPairs(w, chunkEnd) : copyOutsideRun(w, chunkEnd);
            out_.commit(w);
        }
        if (n_ > 0 && !endsWithCrLf(text_)) out_.commit(putCode(out_.room(2), {'\r', '\n'}));
        // Only a run still open at the end of the last line leaves the scan inside one.
        scan.KanjiMode = mode_ == 1 && lineEnd_ + 2 >= n_ ? 1 : 0;
        scan.kanjiPair = pair_;
        if (mayReport_) scan.mayReport = 1;
        return metKanjiIn_;
    }

    // True when the output depended on the pair the scan started with: a pair alone
    // at a line's end took its second byte before any pair of this text was written.
    bool usedStartingPair() const { return usedStartingPair_; }
    // True when a pair was written, and so the working pair changed.
    bool wrotePair() const { return wrotePair_; }
    // True when a pair was written that does not depend on the starting pair.
    bool settledPair() const { return settled_; }

  private:
    // Outside a run every byte is copied, line breaks included, up to the next 0x93;
    // there a shift sequence is looked for. The gaps between runs are short in most
    // text, so they are copied sixteen bytes at a time (the room reserved allows the
    // overshoot) rather than by a library call or two per gap.
    char* copyOutsideRun(char* w, std::size_t chunkEnd) {
        while (p_ < chunkEnd) {
            std::size_t q;
            if (p_ + 16 <= n_) {
                copy16(w, in_ + p_);
                const std::uint32_t hits = byteHits16(in_ + p_, 0x93);
                if (hits == 0) {
                    const std::size_t step = std::min<std::size_t>(16, chunkEnd - p_);
                    w += step;
                    p_ += step;
                    continue;
                }
                q = std::min(chunkEnd, p_ + std::countr_zero(hits));
            } else {
                const void* hit = std::memchr(in_ + p_, 0x93, chunkEnd - p_);
                q = hit ? static_cast<const Byte*>(hit) - in_ : chunkEnd;
                std::memcpy(w, in_ + p_, q - p_);
            }
            w += q - p_;
            p_ = q;
            if (p_ >= chunkEnd) break;
            // A piece that crosses a line end is never a sequence: no sequence ends in CR.
            Byte next = p_ + 1 < n_ ? in_[p_ + 1] : 0;
            if (p_ + 1 < n_ && next == kKanjiOut[1]) {
                mode_ = 0;
                p_ += 2;
            } else if (p_ + 1 < n_ && isKanjiInSecond(next)) {
                metKanjiIn_ = true;
                mode_ = 1;
                inRun_ = true;
                p_ += 2;
                if (lineEnd_ < p_ || !lineEndKnown_) {
                    lineEnd_ = findLineEnd(text_, p_);
                    lineEndKnown_ = true;
                }
                return w;
            } else {
                *w++ = static_cast<char>(0x93);
                p_ += 1;
            }
        }
        return w;
    }

    // Inside a run the scan moves by pairs until a kanji-out or the line's end.
    // The position is a local while pairs are written (see SjisToVelmor::fastSteps).
    char* runPairs(char* w, std::size_t chunkEnd) {
        const std::size_t stop = std::min(lineEnd_, chunkEnd);
        const Byte* in = in_;
        const SjisOut* table = table_.data();
        const char* const from = w;
        std::uint32_t entry = 0;  // the latest entry, read whole
        std::uint32_t lossy = 0;  // entries ORed whole: the flag is their third byte
        std::size_t p = p_;
        while (p + 1 < stop) {
            Byte first = in[p];
            Byte second = in[p + 1];
            if (first == 0x93) {
                if (isKanjiInSecond(second)) {
                    p += 2;
                    continue;
                }
                if (second == kKanjiOut[1]) {
                    mode_ = 0;
                    inRun_ = false;
                    p += 2;
                    break;
                }
            }
            // One load of the whole entry gives the bytes and gathers the flag.
            std::memcpy(&entry, &table[std::size_t{first} << 8 | second], sizeof entry);
            lossy |= entry;
            std::memcpy(w, &entry, 2);
            w += 2;
            p += 2;
        }
        p_ = p;
        if ((lossy & lossyBits()) != 0) mayReport_ = true;
        if (w != from) {
            Byte last[2];
            std::memcpy(last, &entry, 2);
            pair_ = {last[0], last[1]};
            wrotePair_ = true;
            settled_ = true;
        }
        if (!inRun_) return w;
        if (p_ + 1 == lineEnd_) {
            // The line's last byte is a pair's first: the second is the pair's last.
            Byte first = in_[p_];
            if (first != 0x20 && !wrotePair_) usedStartingPair_ = true;
            if (first != 0x20) mayReport_ = true;  // a pair cut by the line's end
            if (first == 0x20) settled_ = true;    // the ideographic space, whatever follows
            wrotePair_ = true;
            pair_.first = first;
            velmorPairToSjis(pair_);
            w = putPair(w, pair_);
            p_ = lineEnd_;
        }
        // A run left open at the line's end simply ends; the next line starts outside.
        if (p_ >= lineEnd_) inRun_ = false;
        return w;
    }

    std::string_view text_;
    const Byte* in_;
    std::size_t n_;
    OutputBuffer out_;
    const VelmorToSjisTable& table_;
    KanjiPair pair_;
    std::size_t p_ = 0;
    std::size_t lineEnd_ = 0;  // end of the line of the latest run
    bool lineEndKnown_ = false;
    bool inRun_ = false;
    int mode_ = 0;  // KanjiMode as the latest shift sequence left it
    bool metKanjiIn_ = false;
    bool wrotePair_ = false;
    bool settled_ = false;
    bool usedStartingPair_ = false;
    bool mayReport_ = false;
};

}  // namespace

PartOutcome convertPartVelmorToSjis(std::string_view text, ScanState& scan, std::string& out) {
    VelmorToSjis converter(text, scan, out);
    bool met = converter.run(scan);
    return {met, converter.usedStartingPair(), converter.wrotePair(), converter.settledPair()};
}

}  // namespace velmor
