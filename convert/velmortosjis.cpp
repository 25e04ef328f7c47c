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

static_assert(sizeof(SjisOut) == 4 && offsetof(SjisOut, lossy) == 2 &&
              offsetof(SjisOut, stop) == 3);

// The bits of an entry read as one 32-bit word that hold its lossy flag, and its stop
// mark.
constexpr std::uint32_t lossyBits() {
    return std::endian::native == std::endian::little ? 0x00FF0000u : 0x0000FF00u;
}
constexpr std::uint32_t stopBits() {
    return std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;
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
        // A kanji-in as the text's last bytes opens a run the text's end closes.
        if (inRun_) runLineEnd_ = n_;
        if (n_ > 0 && !endsWithCrLf(text_)) out_.commit(putCode(out_.room(2), {'\r', '\n'}));
        // Only a run still open at the end of the last line leaves the scan inside one.
        scan.KanjiMode = mode_ == 1 && runLineEnd_ + 2 >= n_ ? 1 : 0;
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
                return w;
            } else {
                *w++ = static_cast<char>(0x93);
                p_ += 1;
            }
        }
        return w;
    }

    // Inside a run the scan moves by pairs until a kanji-out or the line's end. The
    // table marks the pairs that may be neither (a first byte 0x93, a CR in either
    // byte): only those are looked at closer, so the line's end need not be sought
    // before the run. The position is a local while pairs are written (see
    // SjisToVelmor::fastSteps).
    char* runPairs(char* w, std::size_t chunkEnd) {
        const Byte* const in = in_;
        const SjisOut* const table = table_.data();
        const char* const from = w;
        std::uint32_t lossy = 0;  // entries ORed whole: the flag is their third byte
        const Byte* q = in + p_;
        const Byte* const last = in + chunkEnd - 1;  // a pair starts before this
        bool lineEnds = false;  // at q the line ends: CR LF, or a pair's first byte and CR LF
        while (q < last) {
            // The pair's two bytes in one load, as the table's index.
            std::uint16_t bytes;
            std::memcpy(&bytes, q, 2);
            const std::size_t index =
                std::endian::native == std::endian::little ? std::rotl(bytes, 8) : bytes;
            // One load of the whole entry gives the bytes, the flag and the mark.
            std::uint32_t entry;
            std::memcpy(&entry, &table[index], sizeof entry);
            if ((entry & stopBits()) != 0) [[unlikely]] {
                const Byte first = q[0], second = q[1];
                const auto p = static_cast<std::size_t>(q - in);
                if (second == '\r' && p + 2 < n_ && q[2] == '\n') {
                    lineEnds = true;  // the line's last byte is a pair's first
                    break;
                }
                if (first == '\r' && second == '\n') {
                    lineEnds = true;
                    break;
                }
                if (first == 0x93 && isKanjiInSecond(second)) {
                    q += 2;
                    continue;
                }
                if (first == 0x93 && second == kKanjiOut[1]) {
                    mode_ = 0;
                    inRun_ = false;
                    q += 2;
                    break;
                }
            }
            lossy |= entry;
            std::memcpy(w, &entry, 2);
            w += 2;
            q += 2;
        }
        const auto p = static_cast<std::size_t>(q - in);
        p_ = p;
        if ((lossy & lossyBits()) != 0) mayReport_ = true;
        if (w != from) {
            // The last pair written.
            pair_ = {static_cast<Byte>(w[-2]), static_cast<Byte>(w[-1])};
            wrotePair_ = true;
            settled_ = true;
        }
        if (!inRun_) return w;
        // Where the line ends, its last byte may be a pair's first; the text's end
        // ends its last line too. Elsewhere the chunk ends inside the run.
        bool alone;
        if (lineEnds) {
            alone = in_[p_] != '\r' || in_[p_ + 1] != '\n';
        } else if (p_ + 1 >= n_) {
            alone = p_ + 1 == n_;
        } else {
            return w;
        }
        if (alone) {
            // The line's last byte is a pair's first: the second is the pair's last.
            Byte first = in_[p_];
            if (first != 0x20 && !wrotePair_) usedStartingPair_ = true;
            if (first != 0x20) mayReport_ = true;  // a pair cut by the line's end
            if (first == 0x20) settled_ = true;    // the ideographic space, whatever follows
            wrotePair_ = true;
            pair_.first = first;
            velmorPairToSjis(pair_);
            w = putPair(w, pair_);
            ++p_;
        }
        // A run left open at the line's end simply ends; the next line starts outside.
        inRun_ = false;
        runLineEnd_ = p_;
        return w;
    }

    std::string_view text_;
    const Byte* in_;
    std::size_t n_;
    OutputBuffer out_;
    const VelmorToSjisTable& table_;
    KanjiPair pair_;
    std::size_t p_ = 0;
    std::size_t runLineEnd_ = 0;  // where the line of the latest run that met it ended
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
