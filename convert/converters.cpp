// Fast whole-text converters. They walk the text once, write through a raw pointer
// into one output string, copy runs of bytes that need no change in bulk and look
// every character up in a table built from the pair arithmetic (pairtables.h).
#include "converters.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>

#include "bytescan.h"
#include "document/hugepages.h"
#include "document/linebreaks.h"
#include "kanjicode.h"
#include "outputbuffer.h"
#include "pairtables.h"

namespace velmor {

namespace {

using Byte = std::uint8_t;

// Input is handled in chunks of this size; each chunk first makes room for the most
// output it can give.
constexpr std::size_t kChunk = 64 * 1024;

const Byte* bytesOf(std::string_view text) {
    return reinterpret_cast<const Byte*>(text.data());
}

char* putCode(char* w, const Code2& code) {
    w[0] = static_cast<char>(code[0]);
    w[1] = static_cast<char>(code[1]);
    return w + 2;
}

char* putPair(char* w, KanjiPair pair) {
    w[0] = static_cast<char>(pair.first);
    w[1] = static_cast<char>(pair.second);
    return w + 2;
}

bool endsWithCrLf(std::string_view text) {
    return text.size() >= 2 && text[text.size() - 2] == '\r' && text.back() == '\n';
}

bool isKanjiInSecond(Byte b) {
    return b == 0x70 || b == 0xF0 || b == 0x74 || b == 0x4C;
}

// ---- VELMOR to Shift-JIS ----

// The output's usual size and its most: every byte gives at most one, but a pair's
// first byte alone at a line's end gives two, and a text without a final line end
// gains one.
constexpr std::size_t velmorExpected(std::size_t n) {
    return n + n / 16 + 64;
}
constexpr std::size_t velmorBound(std::size_t n) {
    return n + n / 2 + 64;
}

// Each step writes at most one byte per byte it consumes, plus two for a pair that
// stands alone at a line's end (its line also held a kanji-in, which wrote nothing).
constexpr std::size_t velmorRoom(std::size_t bytes) {
    return bytes + 64;
}

class VelmorToSjis {
  public:
    VelmorToSjis(std::string_view text, ScanState& scan, std::string& out)
        : text_(text),
          in_(bytesOf(text)),
          n_(text.size()),
          out_(out, velmorExpected(n_), velmorBound(n_)),
          table_(*scan.tables.toSjis),
          pair_(scan.kanjiPair) {}

    // Returns true when a kanji-in was met. Leaves the pair and the mode in `scan`.
    bool run(ScanState& scan) {
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

  private:
    // Outside a run every byte is copied, line breaks included, up to the next 0x93;
    // there a shift sequence is looked for.
    char* copyOutsideRun(char* w, std::size_t chunkEnd) {
        while (p_ < chunkEnd) {
            const void* hit = std::memchr(in_ + p_, 0x93, chunkEnd - p_);
            std::size_t q = hit ? static_cast<const Byte*>(hit) - in_ : chunkEnd;
            std::memcpy(w, in_ + p_, q - p_);
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
        const SjisOut* last = nullptr;
        std::uint8_t lossy = 0;
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
            last = &table[first << 8 | second];
            lossy |= last->lossy;
            std::memcpy(w, last->bytes, 2);
            w += 2;
            p += 2;
        }
        p_ = p;
        if (lossy != 0) mayReport_ = true;
        if (last != nullptr) {
            pair_ = {last->bytes[0], last->bytes[1]};
            wrotePair_ = true;
        }
        if (!inRun_) return w;
        if (p_ + 1 == lineEnd_) {
            // The line's last byte is a pair's first: the second is the pair's last.
            Byte first = in_[p_];
            if (first != 0x20 && !wrotePair_) usedStartingPair_ = true;
            if (first != 0x20) mayReport_ = true;  // a pair cut by the line's end
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
    bool usedStartingPair_ = false;
    bool mayReport_ = false;
};

// ---- Shift-JIS to VELMOR ----

// The output's usual size and its most: a run adds four bytes, and the densest runs,
// a lead byte alone before each line end, turn three bytes into eight.
constexpr std::size_t sjisExpected(std::size_t n) {
    return n + n / 4 + 64;
}
constexpr std::size_t sjisBound(std::size_t n) {
    return 3 * n + 64;
}

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
          out_(out, sjisExpected(n_), sjisBound(n_)),
          table_(*scan.tables.toVelmor),
          pair_(scan.kanjiPair) {}

    // Returns true when a character was converted. Leaves the pair and the mode in `scan`.
    bool run(ScanState& scan) {
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

    // Pieces while p_ < end, with at least 16 bytes readable after p_. Bytes below
    // 0x80 (never in a range) are copied sixteen at a time. The scan state lives in
    // locals here: the output is written through a char pointer, which may alias
    // any member, so members would be reloaded after every byte written.
    char* fastSteps(char* w, std::size_t end) {
        const Byte* in = in_;
        const VelmorOut* table = table_.data();
        std::size_t p = p_;
        bool inRun = inRun_;
        bool converted = converted_;
        Byte lossy = lossy_;
        Byte last0 = pair_.first, last1 = pair_.second;
        while (p < end) {
            Byte b = in[p];
            if (b < 0x80) {
                if (inRun) {
                    w = putCode(w, kKanjiOut);
                    inRun = false;
                }
                for (;;) {
                    copy16(w, in + p);
                    std::uint32_t high = highBytes16(in + p);
                    if (high != 0) {
                        unsigned k = static_cast<unsigned>(__builtin_ctz(high));
                        p += k;
                        w += k;
                        break;
                    }
                    p += 16;
                    w += 16;
                    if (p >= end) break;
                }
                continue;
            }
            Byte second = in[p + 1];
            if (second == '\r' && in[p + 2] == '\n') {
                p_ = p;
                inRun_ = inRun;
                converted_ = converted;
                lossy_ = lossy;
                pair_ = {last0, last1};
                w = lastOfLine(w, b);
                p = p_;
                inRun = inRun_;
                converted = converted_;
                lossy = lossy_;
                last0 = pair_.first;
                last1 = pair_.second;
                continue;
            }
            const VelmorOut& entry = table[b << 8 | second];
            lossy |= entry.lossy;
            if (!entry.inRange) {
                if (inRun) {
                    w = putCode(w, kKanjiOut);
                    inRun = false;
                }
                *w++ = static_cast<char>(b);
                ++p;
                continue;
            }
            if (!inRun) {
                w = putCode(w, kKanjiInWritten);
                inRun = true;
                converted = true;
            }
            last0 = entry.bytes[0];
            last1 = entry.bytes[1];
            w[0] = static_cast<char>(last0);
            w[1] = static_cast<char>(last1);
            w += 2;
            p += 2;
        }
        p_ = p;
        inRun_ = inRun;
        converted_ = converted;
        lossy_ = lossy;
        pair_ = {last0, last1};
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
    bool usedStartingPair_ = false;
    Byte lossy_ = 0;  // nonzero once a piece the report may speak about was met
};

// Texts at least this long are converted in two parts at once, one per core.
constexpr std::size_t kParallelMinBytes = 1 << 20;

// Where a text is cut in two for converting both parts at once: the start of the
// first line at or after the middle, or 0 when the text is too short or has no
// line break after its middle.
std::size_t splitPoint(std::string_view text) {
    if (text.size() < kParallelMinBytes || std::thread::hardware_concurrency() < 2) return 0;
    std::size_t end = findLineEnd(text, text.size() / 2);
    return end + 2 < text.size() ? end + 2 : 0;
}

// Appends `part` to `out` a few megabytes at a time, giving back the memory of what
// was copied as it goes, so that the two parts never stand in memory twice.
void appendReleasing(std::string& out, std::string& part) {
    constexpr std::size_t kStep = 4 << 20;
    for (std::size_t done = 0; done < part.size();) {
        std::size_t n = std::min(kStep, part.size() - done);
        out.append(part.data() + done, n);
        done += n;
        releasePages(part.data(), done);
    }
    part.clear();
}

// Converts text[0, split) here and text[split, end) on another thread. Lines are
// independent but for the working pair, which a line can inherit from the line
// before only through a pair alone at its end; when the second part's output
// depended on the pair it started with, that part is converted again once the
// first part's final pair is known. Returns true when either part met its mark.
template <typename Converter>
bool convertInTwo(std::string_view text, std::size_t split, ScanState& scan, std::string& out,
                  std::size_t expectedOutput, std::size_t outputBound) {
    ScanState secondScan = scan;
    std::string secondOut;
    struct Outcome {
        bool met, usedStartingPair, wrotePair;
    };
    std::future<Outcome> second;
    try {
        second = std::async(std::launch::async, [&] {
            Converter converter(text.substr(split), secondScan, secondOut);
            bool met = converter.run(secondScan);
            return Outcome{met, converter.usedStartingPair(), converter.wrotePair()};
        });
    } catch (const std::system_error&) {
        // No thread to be had (a process or pids limit): the whole text on this one.
        reserveOutput(out, expectedOutput, outputBound);
        return Converter(text, scan, out).run(scan);
    }
    reserveOutput(out, expectedOutput, outputBound);
    bool firstMet = Converter(text.substr(0, split), scan, out).run(scan);
    Outcome outcome = second.get();
    if (outcome.usedStartingPair) {
        secondOut.clear();
        secondScan = scan;
        outcome.met = Converter(text.substr(split), secondScan, secondOut).run(secondScan);
    }
    appendReleasing(out, secondOut);
    // A second part that wrote no pair leaves the pair as the first part left it.
    if (!outcome.wrotePair) secondScan.kanjiPair = scan.kanjiPair;
    secondScan.mayReport |= scan.mayReport;
    scan = secondScan;
    return firstMet || outcome.met;
}

}  // namespace

void convertVelmorToSjisAt(std::string_view text, std::size_t split, ScanState& scan,
                           std::int32_t& toSjisDone, std::string& out) {
    bool met = split == 0
                   ? VelmorToSjis(text, scan, out).run(scan)
                   : convertInTwo<VelmorToSjis>(text, split, scan, out, velmorExpected(text.size()),
                                                velmorBound(text.size()));
    if (met) toSjisDone = 1;
}

void convertSjisToVelmorAt(std::string_view text, std::size_t split, ScanState& scan,
                           std::int32_t& toVelmorDone, std::string& out) {
    bool met = split == 0
                   ? SjisToVelmor(text, scan, out).run(scan)
                   : convertInTwo<SjisToVelmor>(text, split, scan, out, sjisExpected(text.size()),
                                                sjisBound(text.size()));
    if (met) toVelmorDone = 1;
}

void convertVelmorToSjis(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                         std::string& out) {
    convertVelmorToSjisAt(text, splitPoint(text), scan, toSjisDone, out);
}

void convertSjisToVelmor(std::string_view text, ScanState& scan, std::int32_t& toVelmorDone,
                         std::string& out) {
    convertSjisToVelmorAt(text, splitPoint(text), scan, toVelmorDone, out);
}

bool containsKanjiIn(std::string_view text) {
    // A kanji-in's two bytes always lie in one line: no kanji-in second byte is a CR.
    const Byte* p = bytesOf(text);
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 17 <= n; i += 16) {
        if (kanjiInStarts16(p + i) != 0) return true;
    }
    for (; i + 1 < n; ++i) {
        if (p[i] == 0x93 && isKanjiInSecond(p[i + 1])) return true;
    }
    return false;
}

}  // namespace velmor
