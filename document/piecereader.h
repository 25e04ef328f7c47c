#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lineends.h"
#include "textfile.h"
#include "threads.h"

namespace velmor {

// A run of whole lines of the input, in the form the Document holds them: each line
// as loading gives it (every CR dropped, a space appended) and CR LF.
struct LoadedPiece {
    std::string text;
    std::vector<std::size_t> lineEnds;  // offsets in `text` just past each line's CR LF
    std::uint64_t firstLine = 0;        // 0-based input line of its first line
    std::uint64_t inputBytes = 0;       // input bytes its lines took
    bool droppedCr = false;             // loading dropped a CR that ended no line
    bool last = false;                  // nothing follows: the end of the input, or an end mark
    // The input bytes of its lines, kept for a report and only when a CR was dropped.
    std::string raw;
    // With ReadPlan::keepLineEnds, what each of its lines ended with in the input.
    std::vector<LineEnd> ends;
};

// What stood after a Ctrl-Z where a line began, which ends the input: never loaded.
struct AfterEndMark {
    std::uint64_t line = 0;  // 0-based input line the Ctrl-Z began
    std::string firstBytes;  // the first of those bytes, at most kReportBytesKept
    std::uint64_t length = 0;
};

// How the input is cut and loaded.
struct ReadPlan {
    std::size_t pieceBytes = 4 << 20;  // input read per piece, before the cut moves to a line start
    std::size_t threads = 1;           // pieces loaded at once
    bool forReport = false;            // keep what a report of the load needs
    // Note each line's end (LoadedPiece::ends), and take a lone CR as a line end of
    // its own instead of dropping it.
    bool keepLineEnds = false;
};

// The one way from an input to the Document's text: reads an open input in order
// and hands out its lines a piece at a time, each cut at a line start, as the load
// rules give them (LF or CR LF ends a line, every other CR is dropped, the end ends
// the last line, and a Ctrl-Z where a line begins ends the input). Reading is in
// order; the pieces are loaded at once on `threads` threads, a few ahead of the
// caller, and handed out in order. The caller's thread is one of them: while the
// piece it waits for is not there, next() reads and loads one itself, so that where
// no thread can be had everything is done there. Memory stays bounded whatever the
// input's size, but a line is always held whole.
class PieceReader {
  public:
    PieceReader(TextFileRec& input, const ReadPlan& plan);
    ~PieceReader();
    PieceReader(const PieceReader&) = delete;
    PieceReader& operator=(const PieceReader&) = delete;

    // The next piece, valid until the next call; null after the last. The caller may
    // take its text (a load hands it to the Document as it is). Throws EInOutError for
    // a failed read, and what loading threw (std::bad_alloc).
    LoadedPiece* next();
    // Once next() returned null: the bytes after the end mark, where the input had
    // one. With `forReport` the rest of the input is read to count them.
    const std::optional<AfterEndMark>& afterEndMark() const { return afterEndMark_; }

  private:
    struct Bytes {
        std::unique_ptr<char[]> data;
        std::size_t size = 0;
        std::size_t capacity = 0;
        void reserve(std::size_t bytes);
    };
    struct Slot {
        enum class State { Free, Busy, Ready } state = State::Free;
        std::uint64_t index = 0;
        Bytes raw;                                // the input bytes of the piece
        bool endOfInput = false;                  // nothing was left to read: no piece
        std::size_t endMark = std::string::npos;  // where in `raw` a line began with Ctrl-Z
        LoadedPiece piece;
        std::exception_ptr error;
        std::vector<LineEnd> ends;         // keepLineEnds: of the lines in `raw`
        std::vector<std::size_t> loneCrs;  // keepLineEnds: where `raw` had them, now LFs
    };

    Slot* freeSlot();
    void produceUnlocked(Slot& slot, std::unique_lock<std::mutex>& lock);
    void work();
    void produce(Slot& slot);
    void fetch(Slot& slot);
    void fetchBytes(Slot& slot);
    void load(Slot& slot) const;
    Slot* slotWithIndex(std::uint64_t index);
    void countAfterEndMark(const Slot& slot, std::uint64_t line);
    std::size_t cutAt(const Bytes& raw, std::size_t searched) const;

    TextFileRec& input_;
    const ReadPlan plan_;
    std::vector<Slot> slots_;
    std::mutex mutex_;  // guards the slots' states and the fields below
    std::condition_variable changed_;
    std::uint64_t nextOut_ = 0;      // index of the next piece handed out
    std::uint64_t linesOut_ = 0;     // lines handed out so far
    Slot* current_ = nullptr;        // handed out last
    bool stop_ = false;              // no more pieces are wanted
    bool done_ = false;              // the last piece was handed out
    std::mutex fetchMutex_;          // reading is in order: one fetch at a time
    std::uint64_t nextFetch_ = 0;    // index of the next piece read
    bool inputEnded_ = false;        // everything was read
    std::exception_ptr fetchError_;  // a read failed: nothing after it was read
    Bytes carry_;                    // read after the last cut: the start of a line
    std::optional<AfterEndMark> afterEndMark_;
    std::vector<Thread> workers_;
};

}  // namespace velmor
