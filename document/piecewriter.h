#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "outputsink.h"
#include "progress.h"
#include "threads.h"

namespace velmor {

// The final line end of a saved file, after the line end of its last line.
inline constexpr std::string_view kFinalLineEnd = "\r\n";

// The one writer of saved text. The saved form of Document text is every line without
// the space loading appended (only that one: any other last byte may be the second
// half of a double-byte character), then CR LF; a last line without its CR LF is
// ended too, and a lone CR or LF is no line end. The writer puts it together a chunk
// at a time and writes each chunk to the sink on a thread of its own, so that a long
// save takes about as long as its writes; where no thread can be had, everything is
// done on the caller's thread. What a write throws comes back to the caller at its
// next call.
class PieceWriter {
  public:
    // `progress` is told the bytes of text taken by writeSaved, and may stop the
    // writing (EAbort).
    explicit PieceWriter(OutputSink& sink, Progress* progress = nullptr);
    // Stops the writing thread; what was not written yet is dropped, since a writer
    // not finished is left by an error on its way, and its output is given up.
    ~PieceWriter();
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;

    // Writes the saved form of `text`, whole lines of Document text, putting it
    // together here while the chunk before is written: for text that stays.
    void writeSaved(std::string_view text);
    // The same for a piece the caller goes on from at once: `text` is taken and put
    // together on the writing thread too, and the caller gets an empty buffer back in
    // its place, with the memory of an earlier piece.
    void handSaved(std::string& text);
    // Writes `bytes` as they are.
    void writeRaw(std::string_view bytes);
    // Writes what waits and returns once every byte is written; throws a failure.
    void finish();
    // Bytes written so far; all of them once finish() returned.
    std::uint64_t written() const { return written_.load(); }

  private:
    static constexpr std::size_t kChunk = 1 << 20;

    // A chunk being filled, and what to do with it once full.
    struct Filling {
        char* start;
        char* w;
    };
    // Work for the writing thread: a chunk to write, or a piece to put together first.
    struct Job {
        std::string_view chunk;
        std::string* piece = nullptr;
    };

    template <typename Next, typename Step>
    static void shape(std::string_view text, Filling& f, Next next, Step step);
    void handOver();
    void post(Job job);
    void waitIdle();
    void run();
    void writeNow(std::string_view bytes);

    OutputSink& sink_;
    Progress* progress_;
    std::unique_ptr<char[]> chunks_[2];  // filled here and written on the thread in turn
    int current_ = 0;
    Filling filling_;
    std::unique_ptr<char[]> threadChunk_;  // where the thread puts pieces together
    std::string pieces_[2];                // pieces handed over, and their memory
    int nextPiece_ = 0;
    std::atomic<std::uint64_t> written_{0};

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    const std::string* shaping_ = nullptr;  // the piece the thread puts together now
    bool quit_ = false;
    std::exception_ptr failure_;
    Thread thread_;
};

}  // namespace velmor
