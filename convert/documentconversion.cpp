// The conversion of the Document's text piece by piece: runs of pieces are converted
// at once, each into buffers taken from the memory of pieces already converted.
#include "documentconversion.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "converters.h"
#include "document/hugepages.h"
#include "document/linebreaks.h"
#include "document/textrewrite.h"
#include "reportlocator.h"
#include "sjistovelmor.h"
#include "velmortosjis.h"

namespace velmor {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// A text whose lines are all at most this long is converted in place; a longer line
// would need a buffer of its own, which could not be reserved ahead at a fair cost.
constexpr std::size_t kLongestInPlace = std::size_t{2} << 20;

// Where a run stands: converting, stopped by a cancel or a failure, or past the first
// old piece given up, after which it must run to its end.
enum State : int { kOpen, kReleased, kStopped };

// Thrown inside a run when another run stopped the conversion.
struct Stopped {};

// One run of pieces, converted on a thread of its own.
struct Run {
    std::size_t first = 0, last = 0;  // the old pieces [first, last)
    ScanState scan;                   // the state it started from, then the one it left
    std::vector<NewPiece> out;
    NewPiece filling;  // the new piece being written
    ConversionReport found;
    PartOutcome outcome;
    bool changed = false;
    // A run after the first starts from the pair the program held, not from the one the
    // run before leaves. Where its output depended on that pair (PartOutcome), the old
    // pieces from the one where that began to the one where the pair settled are kept,
    // with their new pieces apart, and converted again should the pairs differ.
    std::size_t dependentFrom = kNone, dependentTo = kNone;
    std::size_t outFrom = 0, outTo = 0, foundFrom = 0, foundTo = 0;
    std::exception_ptr error;
};

// Room a converter asks for beyond the most output of its input: it makes room for a
// chunk's worst case before converting the chunk (convertstep.h).
constexpr std::size_t kChunkRoom = kChunk + 64;

// The largest input whose most output, and the room asked for it, fit in `room` bytes.
std::size_t fitting(OutputSizeOf sizeOf, std::size_t room) {
    if (room <= kChunkRoom) return 0;
    room -= kChunkRoom;
    std::size_t low = 0, high = room;
    while (low < high) {
        const std::size_t mid = low + (high - low + 1) / 2;
        if (sizeOf(mid).bound <= room) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    return low;
}

// The end (just past its CR LF) of the last line of `text` that ends in [from, to), or
// kNone.
std::size_t lastLineEnd(std::string_view text, std::size_t from, std::size_t to) {
    std::size_t at = to;
    while (at > from + 1) {
        const void* lf = ::memrchr(text.data() + from + 1, '\n', at - from - 1);
        if (lf == nullptr) break;
        const auto i = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
        if (text[i - 1] == '\r') return i + 1;
        at = i;
    }
    return kNone;
}

class Conversion {
  public:
    Conversion(Document& doc, Direction direction, Progress* progress, const ReportSearch& report,
               const DocumentConversionPlan& plan)
        : doc_(doc),
          rewrite_(doc),
          direction_(direction),
          convert_(direction == Direction::ToSjis ? convertPartVelmorToSjis
                                                  : convertPartSjisToVelmor),
          sizeOf_(direction == Direction::ToSjis ? velmorToSjisSize : sjisToVelmorSize),
          progress_(progress),
          report_(report),
          sliceBytes_(std::max<std::size_t>(plan.sliceBytes, 1)),
          fillBytes_(doc.pieceBytes()) {
        cutIntoRuns(plan.cut);
        const std::size_t longest = doc.longestLine();
        const std::size_t slice = std::min(sliceBytes_, doc.TextSize());
        freshBytes_ =
            std::max(fillBytes_ + sizeOf_(slice).bound, sizeOf_(longest).bound) + kChunkRoom;
        if (plan.inPlace && doc.pieceCount() > 1 && longest <= kLongestInPlace) {
            // A buffer is filled until its next line does not fit: every new piece but a
            // run's last and those ended at an old piece's end holds fillBytes_ or more
            // (a fresh buffer has room for that and a slice). The text may at most grow
            // to its bound.
            const std::size_t bound = sizeOf_(doc.TextSize()).bound;
            const std::size_t buffers =
                bound / fillBytes_ + 2 * doc.pieceCount() + 2 * runs_.size() + 2;
            rewrite_.allowRelease(buffers, freshBytes_);
        }
    }

    void run(ScanState& scan, std::int32_t& done) {
        startPair_ = scan.kanjiPair;
        for (Run& r : runs_) r.scan = scan;
        {
            TaskSet others(runs_.size() - 1,
                           [this](std::size_t i) { convertRun(runs_[i + 1], false); });
            convertRun(runs_[0], true);
            for (std::size_t i = 1; i < runs_.size(); ++i) {
                try {
                    others.await(i - 1);
                } catch (...) {
                    runs_[i].error = std::current_exception();
                }
            }
        }
        for (Run& r : runs_) {
            if (r.error) rethrowFirstError();
        }
        bool met = false, changed = false;
        for (std::size_t i = 0; i < runs_.size(); ++i) {
            Run& r = runs_[i];
            if (i > 0 && r.dependentFrom != kNone && !(startPair_ == scan.kanjiPair)) {
                convertAgain(r, scan);
            }
            // A run that wrote no pair leaves the pair as the run before left it.
            if (!r.outcome.wrotePair) r.scan.kanjiPair = scan.kanjiPair;
            r.scan.mayReport |= scan.mayReport;
            scan = r.scan;
            met = met || r.outcome.met;
            changed = changed || r.changed;
        }
        std::vector<NewPiece> pieces;
        std::size_t count = 0;
        for (const Run& r : runs_) count += r.out.size();
        pieces.reserve(count);
        for (Run& r : runs_) {
            for (NewPiece& piece : r.out) pieces.push_back(std::move(piece));
            if (report_.found != nullptr) {
                for (const ReportEntry& entry : r.found.entries()) report_.found->add(entry);
            }
        }
        if (met) done = 1;
        // The last moment a cancel can still leave the text as it was.
        if (!rewrite_.released() && progress_ != nullptr && !progress_->commit()) throw EAbort();
        rewrite_.commit(std::move(pieces), changed);
    }

  private:
    // Cuts the pieces into runs of about equal bytes, one per part of the cut.
    void cutIntoRuns(const PartCut& cut) {
        const std::size_t n = doc_.pieceCount();
        const std::size_t parts =
            std::max<std::size_t>(1, std::min(cut.partsFor(doc_.TextSize()), n));
        std::size_t first = 0;
        for (std::size_t k = 1; k <= parts && first < n; ++k) {
            std::size_t last = first + 1;
            const std::size_t share = doc_.TextSize() / parts * k;
            while (last < n && (k == parts || doc_.pieceOffset(last) < share)) ++last;
            Run r;
            r.first = first;
            r.last = last;
            runs_.push_back(std::move(r));
            first = last;
        }
        if (runs_.empty()) runs_.emplace_back();
    }

    void rethrowFirstError() {
        std::exception_ptr stopped;
        for (Run& r : runs_) {
            if (!r.error) continue;
            try {
                std::rethrow_exception(r.error);
            } catch (const Stopped&) {
                stopped = r.error;
            } catch (...) {
                throw;  // the first real cause, in text order
            }
        }
        std::rethrow_exception(stopped);
    }

    // Stops every run with the reason `error` unless an old piece was given up already.
    void stop() {
        int expected = kOpen;
        state_.compare_exchange_strong(expected, kStopped);
    }

    void checkGoingOn() {
        const int state = state_.load();
        if (state == kStopped) throw Stopped{};
        if (state == kOpen && progress_ != nullptr && progress_->cancelled()) {
            int expected = kOpen;
            if (state_.compare_exchange_strong(expected, kStopped)) throw EAbort();
            if (expected == kStopped) throw Stopped{};
        }
    }

    // Old piece `i` is no longer read: its memory goes to the new pieces.
    // The first one passes the point of no return; a cancel that came before stops the
    // conversion with nothing given up.
    void release(std::size_t i) {
        if (state_.load() == kOpen && progress_ != nullptr && !progress_->commit()) {
            checkGoingOn();
        }
        int expected = kOpen;
        if (!state_.compare_exchange_strong(expected, kReleased) && expected == kStopped) return;
        rewrite_.release(i);
    }

    void convertRun(Run& r, bool firstRun) {
        try {
            for (std::size_t i = r.first; i < r.last; ++i) {
                const bool settledBefore = firstRun || r.outcome.settledPair;
                const std::size_t outBefore = r.out.size();
                const std::size_t foundBefore = r.found.entries().size();
                convertPiece(r, i, !settledBefore, outBefore, foundBefore);
                if (!firstRun && r.dependentFrom != kNone && !settledBefore) {
                    r.dependentTo = i;
                    r.outTo = r.out.size();
                    r.foundTo = r.found.entries().size();
                } else if (rewrite_.allowed()) {
                    release(i);
                }
            }
            finish(r);
        } catch (...) {
            r.error = std::current_exception();
            stop();
        }
    }

    // Ends the new piece being written, if it holds anything.
    void finish(Run& r) {
        if (r.filling.text.empty()) return;
        r.out.push_back(std::move(r.filling));
        r.filling = NewPiece();
    }

    // Makes sure the piece being written has room for the most output of `bytes` of
    // input, ending it and taking another buffer where it has not.
    void makeRoom(Run& r, std::size_t bytes) {
        const std::size_t need = sizeOf_(bytes).bound + kChunkRoom;
        if (r.filling.text.capacity() - r.filling.text.size() >= need) return;
        finish(r);
        if (r.filling.text.capacity() > 0) rewrite_.giveBack(std::move(r.filling.text));
        r.filling.text = rewrite_.take(need, freshBytes_);
    }

    // Where a slice from `pos` of at most `limit` bytes ends: after its last whole line,
    // or kNone where not even one line fits.
    static std::size_t sliceEnd(std::string_view text, std::size_t pos, std::size_t limit) {
        if (text.size() - pos <= limit) return text.size();
        return lastLineEnd(text, pos, pos + limit);
    }

    std::size_t room(const Run& r) const {
        return fitting(sizeOf_, r.filling.text.capacity() - r.filling.text.size());
    }

    // Converts old piece `i` into the run's new pieces, a slice at a time: whole lines,
    // as many as the room of the piece being written takes, at most sliceBytes_; where
    // not one line fits, the piece is ended and room made. So each buffer is filled as
    // far as it goes: a buffer of an earlier piece has its memory touched up to where
    // that piece ended. With `align` the old piece's output begins and ends new pieces
    // of its own.
    void convertPiece(Run& r, std::size_t i, bool align, std::size_t outBefore,
                      std::size_t foundBefore) {
        const std::string_view text = doc_.piece(i);
        if (align) finish(r);
        for (std::size_t pos = 0; pos < text.size();) {
            checkGoingOn();
            std::size_t end = sliceEnd(text, pos, std::min(sliceBytes_, room(r)));
            if (end == kNone) {
                const std::size_t lineEnd = findLineEnd(text, pos);
                const std::size_t line = (lineEnd >= text.size() ? text.size() : lineEnd + 2) - pos;
                makeRoom(r, line);
                end = sliceEnd(text, pos, std::max(line, std::min(sliceBytes_, room(r))));
            }
            convertSlice(r, i, text.substr(pos, end - pos), pos, outBefore, foundBefore);
            pos = end;
        }
        if (align) finish(r);
    }

    void convertSlice(Run& r, std::size_t i, std::string_view slice, std::size_t pos,
                      std::size_t outBefore, std::size_t foundBefore) {
        std::string& out = r.filling.text;
        const std::size_t before = out.size();
        r.scan.mayReport = 0;
        const PartOutcome slices = convert_(slice, r.scan, out);
        if (progress_ != nullptr) progress_->add(slice.size());
        takeBreaks(r, before);
        const std::string_view added = std::string_view(r.filling.text).substr(before);
        r.changed = r.changed || added != slice;
        // The slice's output depended on the pair the run started with.
        if (slices.usedStartingPair && !r.outcome.settledPair && r.dependentFrom == kNone) {
            r.dependentFrom = i;
            r.outFrom = outBefore;
            r.foundFrom = foundBefore;
        }
        r.outcome.usedStartingPair |= slices.usedStartingPair && !r.outcome.settledPair;
        r.outcome.settledPair |= slices.settledPair;
        r.outcome.wrotePair |= slices.wrotePair;
        r.outcome.met |= slices.met;
        if (r.scan.mayReport == 1 && report_.found != nullptr) {
            const std::string_view text = doc_.piece(i);
            locateConversionEntries(slice, direction_, report_.table, *report_.columns, r.found,
                                    doc_.pieceFirstLine(i) + countBreaks(text.substr(0, pos)));
        }
    }

    // Counts the lines of what the last slice wrote from `before` on, making its line
    // breaks CR LF as the Document does: every slice ends in the CR LF of its last line,
    // which no lone break rule can see past, so slice by slice gives what the whole does.
    void takeBreaks(Run& r, std::size_t before) {
        std::string& out = r.filling.text;
        const std::string_view added = std::string_view(out).substr(before);
        if (!lineBreaksAreNormal(added)) {
            std::string normal = NormalizeLineBreaks(added);
            out.resize(before);
            if (out.capacity() - before < normal.size()) {
                finish(r);
                r.filling.text = rewrite_.take(normal.size(), freshBytes_);
            }
            r.filling.text.append(normal);
            const LineCounts counts = countLines(normal);
            r.filling.breaks += counts.breaks;
            r.filling.longest = std::max(r.filling.longest, counts.longest);
            return;
        }
        const LineCounts counts = countLines(added);
        r.filling.breaks += counts.breaks;
        r.filling.longest = std::max(r.filling.longest, counts.longest);
    }

    // Converts the run's dependent pieces again from `scan`, the state the run before
    // left, in place of their first new pieces.
    void convertAgain(Run& r, const ScanState& scan) {
        // Its bytes were told once.
        Progress* const told = std::exchange(progress_, nullptr);
        Run again;
        again.scan = scan;
        again.scan.KanjiMode = 0;
        for (std::size_t i = r.dependentFrom; i <= r.dependentTo; ++i) {
            convertPiece(again, i, true, again.out.size(), again.found.entries().size());
        }
        finish(again);
        for (std::size_t k = r.outFrom; k < r.outTo; ++k)
            rewrite_.giveBack(std::move(r.out[k].text));
        r.out.erase(r.out.begin() + static_cast<std::ptrdiff_t>(r.outFrom),
                    r.out.begin() + static_cast<std::ptrdiff_t>(r.outTo));
        r.out.insert(r.out.begin() + static_cast<std::ptrdiff_t>(r.outFrom),
                     std::make_move_iterator(again.out.begin()),
                     std::make_move_iterator(again.out.end()));
        ConversionReport found;
        const std::vector<ReportEntry>& entries = r.found.entries();
        for (std::size_t k = 0; k < r.foundFrom; ++k) found.add(entries[k]);
        for (const ReportEntry& entry : again.found.entries()) found.add(entry);
        for (std::size_t k = r.foundTo; k < entries.size(); ++k) found.add(entries[k]);
        r.found = std::move(found);
        r.changed = true;  // a byte alone at a line's end became a pair
        // Where the pair never settled in the run, the run ends as the new conversion does.
        if (r.dependentTo + 1 == r.last && !again.outcome.settledPair) r.scan = again.scan;
        progress_ = told;
    }

    Document& doc_;
    TextRewrite rewrite_;
    Direction direction_;
    PartConverter convert_;
    OutputSizeOf sizeOf_;
    Progress* progress_;
    const ReportSearch& report_;
    std::size_t sliceBytes_;
    std::size_t fillBytes_;
    std::size_t freshBytes_ = 0;
    KanjiPair startPair_;
    std::vector<Run> runs_;
    std::atomic<int> state_{kOpen};
};

}  // namespace

void convertDocument(Document& doc, Direction direction, ScanState& scan, std::int32_t& done,
                     Progress* progress, const ReportSearch& report,
                     const DocumentConversionPlan& plan) {
    if (doc.TextSize() == 0) {
        scan.KanjiMode = 0;
        return;
    }
    {
        Conversion conversion(doc, direction, progress, report, plan);
        conversion.run(scan, done);
    }
    giveMemoryBack(doc.TextSize());
}

bool containsKanjiIn(const Document& doc) {
    // A kanji-in's two bytes always lie in one line, and so in one piece.
    for (std::size_t i = 0; i < doc.pieceCount(); ++i) {
        if (containsKanjiIn(doc.piece(i))) return true;
    }
    return false;
}

}  // namespace velmor
