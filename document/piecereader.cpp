#include "piecereader.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "hugepages.h"
#include "linebreaks.h"
#include "lineloading.h"
#include "report.h"

namespace velmor {

void PieceReader::Bytes::reserve(std::size_t bytes) {
    if (bytes <= capacity) return;
    auto larger = std::make_unique_for_overwrite<char[]>(bytes);
    if (size > 0) std::memcpy(larger.get(), data.get(), size);
    data = std::move(larger);
    capacity = bytes;
}

PieceReader::PieceReader(TextFileRec& input, const ReadPlan& plan)
    : input_(input), plan_(plan), slots_(std::max<std::size_t>(plan.threads, 1) + 1) {
    // The caller's thread is one of them: next() reads and loads while it waits.
    for (std::size_t i = 1; i < plan.threads; ++i) {
        Thread worker = Thread::start([this] { work(); });
        if (!worker.running()) break;
        workers_.push_back(std::move(worker));
    }
}

PieceReader::~PieceReader() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    workers_.clear();  // the workers keep what they threw in their slots
}

PieceReader::Slot* PieceReader::slotWithIndex(std::uint64_t index) {
    for (Slot& slot : slots_) {
        if (slot.state == Slot::State::Ready && slot.index == index) return &slot;
    }
    return nullptr;
}

PieceReader::Slot* PieceReader::freeSlot() {
    if (stop_ || inputEnded_) return nullptr;
    for (Slot& slot : slots_) {
        if (slot.state == Slot::State::Free) return &slot;
    }
    return nullptr;
}

// Reads and loads the piece for `slot`, taken from the free ones with the lock held.
void PieceReader::produceUnlocked(Slot& slot, std::unique_lock<std::mutex>& lock) {
    slot.state = Slot::State::Busy;
    lock.unlock();
    produce(slot);
    lock.lock();
    slot.state = Slot::State::Ready;
    if (slot.error) stop_ = true;  // nothing after a failure is wanted
    changed_.notify_all();
}

void PieceReader::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        Slot* slot = nullptr;
        changed_.wait(lock, [&] { return stop_ || inputEnded_ || (slot = freeSlot()) != nullptr; });
        if (slot == nullptr) return;
        produceUnlocked(*slot, lock);
    }
}

void PieceReader::produce(Slot& slot) {
    slot.endOfInput = false;
    slot.endMark = std::string::npos;
    slot.error = nullptr;
    try {
        fetch(slot);
        if (!slot.endOfInput) load(slot);
    } catch (...) {
        slot.error = std::current_exception();  // rethrown by next() in the piece's turn
    }
}

// Reads the piece's bytes: what the last cut left, then input until the piece has
// its size, cut after its last LF; a line longer than that is read on to its end.
void PieceReader::fetch(Slot& slot) {
    std::lock_guard fetching(fetchMutex_);
    slot.index = nextFetch_++;
    try {
        fetchBytes(slot);
    } catch (...) {
        fetchError_ = std::current_exception();  // the input after it was not read
        throw;
    }
}

void PieceReader::fetchBytes(Slot& slot) {
    Bytes& raw = slot.raw;
    raw.size = 0;
    if (inputEnded_) {
        slot.endOfInput = true;
        return;
    }
    std::size_t want = std::max<std::size_t>(plan_.pieceBytes, 1);
    raw.reserve(std::max(want, carry_.size));
    if (carry_.size > 0) std::memcpy(raw.data.get(), carry_.data.get(), carry_.size);
    raw.size = std::exchange(carry_.size, 0);
    std::size_t searched = raw.size;  // what the last cut left holds no LF
    std::size_t cut = 0;
    for (;;) {
        if (raw.size < want) {
            raw.reserve(want);
            raw.size += ReadBytes(input_, raw.data.get() + raw.size, want - raw.size);
            CheckIo(input_);
        }
        if (input_.endOfFile) {
            cut = raw.size;
            break;
        }
        cut = cutAt(raw, searched);
        if (cut > 0) break;
        searched = raw.size;
        want = raw.size * 2;
    }
    carry_.reserve(raw.size - cut);
    if (raw.size > cut) std::memcpy(carry_.data.get(), raw.data.get() + cut, raw.size - cut);
    carry_.size = raw.size - cut;
    raw.size = cut;
    if (input_.endOfFile) {
        std::lock_guard lock(mutex_);
        inputEnded_ = true;
    }
    slot.endOfInput = raw.size == 0;
    slot.piece.last = input_.endOfFile;
    slot.ends.clear();
    slot.loneCrs.clear();
    if (plan_.keepLineEnds) {
        markLineEnds(raw.data.get(), raw.size, input_.endOfFile, slot.ends, slot.loneCrs);
    }
}

// Where the bytes read so far are cut: just past the last line end after `searched`
// (what the last cut left holds none), or 0 when there is none yet. A CR last in the
// bytes waits for the next byte to tell whether it is a lone CR.
std::size_t PieceReader::cutAt(const Bytes& raw, std::size_t searched) const {
    const char* data = raw.data.get();
    std::size_t cut = 0;
    if (const void* lf = ::memrchr(data + searched, '\n', raw.size - searched)) {
        cut = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
    }
    if (plan_.keepLineEnds && raw.size > 1 && raw.size - 1 > std::max(cut, searched)) {
        const std::size_t from = std::max(cut, searched);
        if (const void* cr = ::memrchr(data + from, '\r', raw.size - 1 - from)) {
            cut = static_cast<std::size_t>(static_cast<const char*>(cr) - data) + 1;
        }
    }
    return cut;
}

void PieceReader::load(Slot& slot) const {
    LoadedPiece& piece = slot.piece;
    const std::string_view bytes(slot.raw.data.get(), slot.raw.size);
    const bool atEnd = piece.last;
    piece.text.clear();
    piece.lineEnds.clear();
    piece.raw.clear();
    piece.droppedCr = false;
    piece.text.reserve(bytes.size() + bytes.size() / 8 + 16);
    adviseHugePages(piece.text.data(), piece.text.capacity());
    std::size_t used =
        loadWholeLines(bytes, piece.droppedCr,
                       [&piece](std::string_view text, std::span<const std::uint32_t> ends) {
                           const std::size_t base = piece.text.size();
                           piece.text.append(text);
                           const std::size_t at = piece.lineEnds.size();
                           piece.lineEnds.resize(at + ends.size());
                           std::size_t* to = piece.lineEnds.data() + at;
                           for (std::size_t i = 0; i < ends.size(); ++i) to[i] = base + ends[i];
                       });
    if (used < bytes.size() && bytes[used] == kCtrlZ) {
        slot.endMark = used;
    } else if (used < bytes.size()) {
        // The last line of the input, without LF: every CR in it is dropped.
        const std::size_t before = piece.text.size();
        appendWithoutCr(piece.text, bytes.data() + used, bytes.size() - used);
        piece.droppedCr |= piece.text.size() - before != bytes.size() - used;
        piece.text.append(" \r\n", 3);
        piece.lineEnds.push_back(piece.text.size());
        used = bytes.size();
    }
    // The huge pages asked for above hold whole 2 MiB blocks: the part past the text
    // goes back, so the Document holds no more memory than its text.
    releasePages(piece.text.data() + piece.text.size(), piece.text.capacity() - piece.text.size());
    piece.inputBytes = used;
    piece.last = atEnd || slot.endMark != std::string::npos;
    if (plan_.keepLineEnds) {
        piece.ends.assign(slot.ends.begin(),
                          slot.ends.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                  slot.ends.size(), piece.lineEnds.size())));
    }
    if (plan_.forReport && piece.droppedCr) piece.raw.assign(bytes.substr(0, used));
}

LoadedPiece* PieceReader::next() {
    std::unique_lock lock(mutex_);
    if (current_ != nullptr) {
        current_->state = Slot::State::Free;
        current_ = nullptr;
        changed_.notify_all();
    }
    if (done_) return nullptr;
    Slot* slot = nullptr;
    // While the next piece is not there, this thread reads and loads one too.
    while ((slot = slotWithIndex(nextOut_)) == nullptr) {
        if (Slot* free = freeSlot()) {
            produceUnlocked(*free, lock);
        } else {
            changed_.wait(lock);
        }
    }
    ++nextOut_;
    current_ = slot;
    if (slot->error || slot->endOfInput || slot->piece.last) {
        done_ = true;
        stop_ = true;
        changed_.notify_all();
    }
    if (slot->error) std::rethrow_exception(slot->error);
    if (slot->endOfInput) return nullptr;
    LoadedPiece& piece = slot->piece;
    piece.firstLine = linesOut_;
    linesOut_ += piece.lineEnds.size();
    if (slot->endMark != std::string::npos && plan_.forReport) {
        lock.unlock();
        countAfterEndMark(*slot, linesOut_);
    }
    return &piece;
}

// Counts the bytes after the end mark in `slot`: the rest of its bytes, those of the
// pieces read after it, and the input not read yet, which is read now.
void PieceReader::countAfterEndMark(const Slot& slot, std::uint64_t line) {
    AfterEndMark mark;
    mark.line = line;
    const auto take = [&mark](const char* data, std::size_t size) {
        const std::size_t room = kReportBytesKept - mark.firstBytes.size();
        mark.firstBytes.append(data, std::min(room, size));
        mark.length += size;
    };
    // A slot's lone CRs were made LFs for loading: the report shows the input's bytes.
    const auto takeSlot = [&](const Slot& from, std::size_t start) {
        const std::size_t kept = mark.firstBytes.size();
        take(from.raw.data.get() + start, from.raw.size - start);
        for (std::size_t cr : from.loneCrs) {
            if (cr >= start && cr - start < mark.firstBytes.size() - kept) {
                mark.firstBytes[kept + cr - start] = '\r';
            }
        }
    };
    takeSlot(slot, slot.endMark + 1);
    // With the input to itself, nothing is read meanwhile; the pieces read after the
    // mark are complete, and their slots stay until handed out, which none will be.
    std::lock_guard fetching(fetchMutex_);
    if (fetchError_) std::rethrow_exception(fetchError_);
    {
        std::lock_guard lock(mutex_);
        for (std::uint64_t index = slot.index + 1; index < nextFetch_; ++index) {
            for (const Slot& later : slots_) {
                if (later.state != Slot::State::Free && later.index == index) takeSlot(later, 0);
            }
        }
    }
    take(carry_.data.get(), carry_.size);
    carry_.size = 0;
    carry_.reserve(64 * 1024);
    while (!input_.endOfFile) {
        const std::size_t got = ReadBytes(input_, carry_.data.get(), carry_.capacity);
        CheckIo(input_);
        take(carry_.data.get(), got);
    }
    {
        std::lock_guard lock(mutex_);
        inputEnded_ = true;
    }
    if (mark.length > 0) afterEndMark_ = std::move(mark);
}

}  // namespace velmor
