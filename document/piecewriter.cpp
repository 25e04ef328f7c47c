#include "piecewriter.h"

#include <cstring>
#include <utility>

#include "simd.h"

namespace velmor {

namespace {

// A step of shape() writes sixteen bytes, then perhaps a line end's two.
constexpr std::size_t kStepRoom = 18;

}  // namespace

PieceWriter::PieceWriter(OutputSink& sink, Progress* progress)
    : sink_(sink),
      progress_(progress),
      chunks_{std::make_unique_for_overwrite<char[]>(kChunk),
              std::make_unique_for_overwrite<char[]>(kChunk)},
      filling_{chunks_[0].get(), chunks_[0].get()} {
    thread_ = Thread::start([this] { run(); });
}

PieceWriter::~PieceWriter() {
    if (!thread_.running()) return;
    {
        std::lock_guard lock(mutex_);
        jobs_.clear();
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();  // run() keeps what it throws in failure_
}

// Puts the saved form of `text` together in `f`, sixteen bytes at a time, stopping
// only at CRs: lines are short in most text, and one library call or two per line cost
// more than the copying. `next(f)` hands a full chunk on and starts another; `step()`
// follows each.
template <typename Next, typename Step>
void PieceWriter::shape(std::string_view text, Filling& f, Next next, Step step) {
    const char* const p = text.data();
    const std::size_t n = text.size();
    std::size_t pos = 0, lineStart = 0;
    // A space last in a chunk is held back for the next one: it is dropped should the
    // line end follow.
    const auto nextChunk = [&] {
        const bool holdSpace = f.w != f.start && f.w[-1] == ' ';
        f.w -= holdSpace;
        next(f);
        if (holdSpace) *f.w++ = ' ';
        step(pos);
    };
    const auto endLine = [&](std::size_t end) {
        if (end > lineStart && p[end - 1] == ' ') --f.w;
        std::memcpy(f.w, "\r\n", 2);
        f.w += 2;
    };
    while (pos < n) {
        if (f.w > f.start + kChunk - kStepRoom) nextChunk();
        char* const roomEnd = f.start + kChunk - kStepRoom;
#if VELMOR_SSE2
        if (pos + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(f.w), v);
            const auto crs =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
            const unsigned k = crs == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(crs));
            pos += k;
            f.w += k;
            if (crs == 0) continue;
        } else
#endif
        {
            while (pos < n && p[pos] != '\r' && f.w <= roomEnd) *f.w++ = p[pos++];
            if (pos == n || p[pos] != '\r') continue;
        }
        if (pos + 1 < n && p[pos + 1] == '\n') {  // a line's end
            endLine(pos);
            pos += 2;
            lineStart = pos;
        } else {
            *f.w++ = '\r';
            ++pos;
        }
    }
    if (lineStart < n) endLine(n);  // a last line without its end
    step(pos);
}

void PieceWriter::writeNow(std::string_view bytes) {
    sink_.write(bytes);
    written_ += bytes.size();
}

void PieceWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !jobs_.empty() || quit_; });
        if (jobs_.empty()) return;
        const Job job = jobs_.front();
        jobs_.pop_front();
        busy_ = true;
        shaping_ = job.piece;
        lock.unlock();
        std::exception_ptr failure;
        try {
            if (job.piece == nullptr) {
                writeNow(job.chunk);
            } else {
                if (!threadChunk_) threadChunk_ = std::make_unique_for_overwrite<char[]>(kChunk);
                Filling f{threadChunk_.get(), threadChunk_.get()};
                const auto writeChunk = [this](Filling& full) {
                    writeNow({full.start, static_cast<std::size_t>(full.w - full.start)});
                    full.w = full.start;
                };
                shape(*job.piece, f, writeChunk, [](std::size_t) {});
                writeChunk(f);
                job.piece->clear();
            }
        } catch (...) {
            failure = std::current_exception();  // rethrown on the caller's thread
        }
        lock.lock();
        if (failure) {
            failure_ = failure;
            jobs_.clear();  // nothing more is written after a failure
        }
        busy_ = false;
        shaping_ = nullptr;
        changed_.notify_all();
    }
}

// Waits until the thread has done every job handed to it; throws its failure.
void PieceWriter::waitIdle() {
    if (!thread_.running()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return (jobs_.empty() && !busy_) || failure_; });
    if (failure_) std::rethrow_exception(failure_);
}

// Queues `job` behind at most one other; throws an earlier failure.
void PieceWriter::post(Job job) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return jobs_.size() < 2 || failure_; });
        if (failure_) std::rethrow_exception(failure_);
        jobs_.push_back(job);
    }
    changed_.notify_all();
}

// Writes the current chunk, on the thread once the one before is written, and starts
// filling the other one.
void PieceWriter::handOver() {
    const std::string_view bytes(filling_.start,
                                 static_cast<std::size_t>(filling_.w - filling_.start));
    current_ ^= 1;
    filling_ = {chunks_[current_].get(), chunks_[current_].get()};
    if (bytes.empty()) return;
    if (!thread_.running()) return writeNow(bytes);
    // The chunk filled next was handed over before this one: it must be written first.
    waitIdle();
    post({bytes, nullptr});
}

void PieceWriter::writeRaw(std::string_view bytes) {
    while (!bytes.empty()) {
        char* const end = filling_.start + kChunk;
        const std::size_t n = std::min(bytes.size(), static_cast<std::size_t>(end - filling_.w));
        std::memcpy(filling_.w, bytes.data(), n);
        filling_.w += n;
        bytes.remove_prefix(n);
        if (filling_.w == end) handOver();
    }
}

void PieceWriter::handSaved(std::string& text) {
    if (!thread_.running()) return writeSaved(text);
    // What the caller filled before goes first.
    if (filling_.w != filling_.start) handOver();
    std::string& piece = pieces_[nextPiece_];
    nextPiece_ ^= 1;
    // Its memory comes back once the thread has put it together.
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            if (failure_) return true;
            if (shaping_ == &piece) return false;
            for (const Job& job : jobs_) {
                if (job.piece == &piece) return false;
            }
            return true;
        });
        if (failure_) std::rethrow_exception(failure_);
    }
    piece.swap(text);
    post({{}, &piece});
}

void PieceWriter::finish() {
    handOver();
    waitIdle();
}

void PieceWriter::writeSaved(std::string_view text) {
    std::size_t told = 0;
    // A cancel is told only once the writes before it are known to have gone well: a
    // failed write is what the user must learn.
    const auto step = [&](std::size_t pos) {
        if (progress_ == nullptr) return;
        progress_->add(pos - told);
        told = pos;
        if (progress_->cancelled()) waitIdle();
        progress_->check();
    };
    step(0);
    shape(
        text, filling_, [this](Filling&) { handOver(); }, step);
}

}  // namespace velmor
