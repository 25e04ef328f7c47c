#include "document.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "errors.h"
#include "hugepages.h"
#include "linebreaks.h"
#include "simd.h"

namespace velmor {

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr char kRefused[] = "文字列の大きさが メモ の制限を越えました";

// Calls `found(i)` for the offset i just past every CR LF pair of `text` whose LF lies
// at or after `from`. Lines are short in most texts, so the LFs are found sixteen bytes
// at a time rather than by one library call per line.
template <typename Found>
void eachBreak(std::string_view text, std::size_t from, Found found) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = std::max<std::size_t>(from, 1);
#if VELMOR_SSE2
    const __m128i lfs = _mm_set1_epi8('\n');
    const __m128i crs = _mm_set1_epi8('\r');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1));
        auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(v, lfs), _mm_cmpeq_epi8(before, crs))));
        for (; hits != 0; hits &= hits - 1)
            found(i + static_cast<std::size_t>(__builtin_ctz(hits)) + 1);
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\n' && p[i - 1] == '\r') found(i + 1);
    }
}

}  // namespace

std::size_t countBreaks(std::string_view text, std::size_t from) {
    std::size_t count = 0;
    eachBreak(text, from, [&count](std::size_t) { ++count; });
    return count;
}

LineCounts countLines(std::string_view text) {
    LineCounts counts;
    std::size_t start = 0;
    eachBreak(text, 0, [&](std::size_t end) {
        ++counts.breaks;
        counts.longest = std::max(counts.longest, end - 2 - start);
        start = end;
    });
    counts.longest = std::max(counts.longest, text.size() - start);
    return counts;
}

Document::Piece::~Piece() {
    delete index.load(std::memory_order_relaxed);
}

const Document::LineIndex& Document::Piece::lines() const {
    if (const LineIndex* built = index.load(std::memory_order_acquire)) return *built;
    // Readers on two threads (the view and a search) may both build it; one is kept.
    auto fresh = std::make_unique<LineIndex>();
    fresh->reserve(breaks);
    eachBreak(text, 0, [&](std::size_t end) { fresh->push_back(static_cast<std::uint32_t>(end)); });
    LineIndex* expected = nullptr;
    if (index.compare_exchange_strong(expected, fresh.get(), std::memory_order_acq_rel)) {
        return *fresh.release();
    }
    return *expected;
}

void Document::Piece::dropIndex() {
    delete index.exchange(nullptr, std::memory_order_relaxed);
}

Document::Document(const Document& other) {
    copyFrom(other);
}

Document& Document::operator=(const Document& other) {
    if (this != &other) {
        freePieces(pieces_);
        copyFrom(other);
        changed();
    }
    return *this;
}

Document::Document(Document&& other) noexcept
    : pieces_(std::move(other.pieces_)),
      size_(std::exchange(other.size_, 0)),
      breaks_(std::exchange(other.breaks_, 0)),
      modified_(std::exchange(other.modified_, false)),
      storageLimit_(other.storageLimit_),
      pieceBytes_(other.pieceBytes_),
      version_(other.version_),
      pool_(std::move(other.pool_)) {
    wholeValid_ = pieces_.empty();
    other.changed();
}

Document& Document::operator=(Document&& other) noexcept {
    if (this != &other) {
        pieces_ = std::move(other.pieces_);
        size_ = std::exchange(other.size_, 0);
        breaks_ = std::exchange(other.breaks_, 0);
        modified_ = std::exchange(other.modified_, false);
        storageLimit_ = other.storageLimit_;
        pieceBytes_ = other.pieceBytes_;
        pool_ = std::move(other.pool_);
        changed();
        other.changed();
    }
    return *this;
}

Document::~Document() = default;

void Document::copyFrom(const Document& other) {
    pieces_.clear();
    for (const auto& piece : other.pieces_) {
        auto copy = std::make_unique<Piece>();
        copy->text = piece->text;
        copy->offset = piece->offset;
        copy->firstLine = piece->firstLine;
        copy->breaks = piece->breaks;
        copy->longest = piece->longest;
        copy->lastStart = piece->lastStart;
        pieces_.push_back(std::move(copy));
    }
    size_ = other.size_;
    breaks_ = other.breaks_;
    modified_ = other.modified_;
    storageLimit_ = other.storageLimit_;
    pieceBytes_ = other.pieceBytes_;
    wholeValid_ = pieces_.empty();
}

void Document::changed() {
    ++version_;
    std::lock_guard lock(wholeMutex_);
    std::string().swap(whole_);
    wholeValid_ = pieces_.empty();
}

void Document::freePieces(std::vector<std::unique_ptr<Piece>>& pieces) {
    std::size_t freed = 0;
    for (const auto& piece : pieces) freed += piece->text.capacity();
    pieces.clear();
    giveMemoryBack(freed);
}

const std::string& Document::WholeText() const {
    std::lock_guard lock(wholeMutex_);
    if (!wholeValid_) {
        std::string whole;
        whole.reserve(size_);
        for (const auto& piece : pieces_) whole.append(piece->text);
        whole_ = std::move(whole);
        wholeValid_ = true;
    }
    return whole_;
}

std::size_t Document::longestLine() const {
    std::size_t longest = 0;
    for (const auto& piece : pieces_) longest = std::max(longest, piece->longest);
    return longest;
}

bool Document::endsWithLineBreak() const {
    return !pieces_.empty() && endsWithCrLf(pieces_.back()->text);
}

// Every piece but the last ends in CR LF; only the last can end in a line without one.
std::size_t Document::LineCount() const {
    return breaks_ + (size_ > 0 && !endsWithLineBreak() ? 1 : 0);
}

std::size_t Document::pieceAt(std::size_t offset) const {
    const auto after = std::upper_bound(
        pieces_.begin(), pieces_.end(), offset,
        [](std::size_t at, const std::unique_ptr<Piece>& p) { return at < p->offset; });
    return static_cast<std::size_t>(after - pieces_.begin()) - 1;
}

// The piece that holds line `line` (< LineCount): the last one starting at or before it.
std::size_t Document::pieceOfLine(std::size_t line) const {
    const auto after = std::upper_bound(
        pieces_.begin(), pieces_.end(), line,
        [](std::size_t at, const std::unique_ptr<Piece>& p) { return at < p->firstLine; });
    return static_cast<std::size_t>(after - pieces_.begin()) - 1;
}

std::string_view Document::LineAt(std::size_t index) const {
    if (index >= LineCount()) return {};
    const Piece& piece = *pieces_[pieceOfLine(index)];
    const std::size_t local = index - piece.firstLine;
    const LineIndex& lines = piece.lines();
    const std::size_t begin = local == 0 ? 0 : lines[local - 1];
    const std::size_t end = local < lines.size() ? lines[local] - 2 : piece.text.size();
    return std::string_view(piece.text).substr(begin, end - begin);
}

std::string_view Document::TextChunk(std::size_t offset, std::size_t maxBytes) const {
    if (offset >= size_) return {};
    const Piece& piece = *pieces_[pieceAt(offset)];
    return std::string_view(piece.text).substr(offset - piece.offset, maxBytes);
}

std::size_t Document::LineOffset(std::size_t index) const {
    if (index >= LineCount()) return size_;
    const Piece& piece = *pieces_[pieceOfLine(index)];
    const std::size_t local = index - piece.firstLine;
    return piece.offset + (local == 0 ? 0 : piece.lines()[local - 1]);
}

std::size_t Document::LineAtOffset(std::size_t offset) const {
    const std::size_t count = LineCount();
    if (count == 0) return 0;
    if (offset >= size_) return count - 1;
    const Piece& piece = *pieces_[pieceAt(offset)];
    const LineIndex& lines = piece.lines();
    // Lines of the piece before the one holding `offset` are those starting at or before it.
    const auto after = std::upper_bound(lines.begin(), lines.end(), offset - piece.offset);
    return std::min(piece.firstLine + static_cast<std::size_t>(after - lines.begin()), count - 1);
}

// The piece that text added now goes to: the last one, or a new one once the last is
// full and ends in CR LF.
Document::Piece& Document::openPiece() {
    if (pieces_.empty() || (pieces_.back()->text.size() >= pieceBytes_ && endsWithLineBreak())) {
        auto piece = std::make_unique<Piece>();
        piece->offset = size_;
        piece->firstLine = breaks_;
        pieces_.push_back(std::move(piece));
    }
    return *pieces_.back();
}

// Adds bytes at the end, filling the last piece up to its size and cutting after the
// first CR LF beyond it: a piece never holds a line start past its size.
void Document::appendBytes(std::string_view bytes) {
    while (!bytes.empty()) {
        Piece& piece = openPiece();
        const std::size_t old = piece.text.size();
        const std::size_t room = pieceBytes_ > old ? pieceBytes_ - old : 0;
        std::size_t take = bytes.size();
        if (bytes.size() > room) {
            // A CR LF whose CR ends the piece and whose LF starts the bytes ends it there.
            if (room == 0 && old > 0 && piece.text.back() == '\r' && bytes[0] == '\n') {
                take = 1;
            } else {
                const std::size_t end = findLineEnd(bytes, room > 0 ? room - 1 : 0);
                take = end >= bytes.size() ? bytes.size() : end + 2;
            }
        }
        piece.text.append(bytes.substr(0, take));
        std::size_t added = 0;
        LineIndex* index = piece.index.load(std::memory_order_relaxed);
        eachBreak(piece.text, old, [&](std::size_t end) {
            ++added;
            if (index != nullptr) index->push_back(static_cast<std::uint32_t>(end));
            piece.longest = std::max(piece.longest, end - 2 - piece.lastStart);
            piece.lastStart = end;
        });
        piece.longest = std::max(piece.longest, piece.text.size() - piece.lastStart);
        piece.breaks += added;
        breaks_ += added;
        size_ += take;
        bytes.remove_prefix(take);
    }
}

void Document::AppendLine(std::string_view line) {
    if (size_ == 0 || endsWithLineBreak()) {
        appendBytes(line);
        appendBytes(kCrLf);
    } else {
        appendBytes(kCrLf);
        appendBytes(line);
    }
    changed();
    modified_ = true;
}

void Document::AppendText(std::string_view bytes) {
    appendBytes(bytes);
    changed();
    modified_ = true;
}

void Document::appendPiece(std::string&& lines, std::size_t breaks, std::size_t longest) {
    if (lines.empty()) return;
    auto piece = std::make_unique<Piece>();
    piece->offset = size_;
    piece->firstLine = breaks_;
    piece->breaks = breaks;
    piece->longest = longest;
    piece->lastStart = lines.size();
    size_ += lines.size();
    breaks_ += breaks;
    piece->text = std::move(lines);
    pieces_.push_back(std::move(piece));
    changed();
    modified_ = true;
}

bool Document::sameText(std::string_view text) const {
    if (text.size() != size_) return false;
    for (const auto& piece : pieces_) {
        if (std::memcmp(piece->text.data(), text.data() + piece->offset, piece->text.size()) != 0) {
            return false;
        }
    }
    return true;
}

// Makes `text` the pieces, copying it a piece at a time and giving back the memory of
// what was copied as it goes, so that it never stands in memory twice.
void Document::setPieces(std::string&& text) {
    std::vector<std::unique_ptr<Piece>> old = std::move(pieces_);
    pieces_.clear();
    size_ = 0;
    breaks_ = 0;
    try {
        const std::string_view all(text);
        for (std::size_t done = 0; done < all.size();) {
            const std::size_t before = size_;
            appendBytes(all.substr(done, std::min(all.size() - done, pieceBytes_)));
            done += size_ - before;
            if (done > (std::size_t{8} << 20)) releasePages(text.data(), done);
        }
    } catch (...) {
        pieces_ = std::move(old);
        size_ = 0;
        breaks_ = 0;
        for (const auto& piece : pieces_) {
            size_ += piece->text.size();
            breaks_ += piece->breaks;
        }
        throw;
    }
    freePieces(old);
}

void Document::ReplaceText(std::string text) {
    try {
        std::string normal =
            lineBreaksAreNormal(text) ? std::move(text) : NormalizeLineBreaks(text);
        if (sameText(normal)) return;
        if (normal.size() > storageLimit_) throw EInvalidOperation(kRefused);
        setPieces(std::move(normal));
    } catch (const std::bad_alloc&) {
        throw EInvalidOperation(kRefused);
    }
    changed();
    modified_ = false;
}

void Document::ClearText() {
    std::size_t freed = 0;
    for (const std::string& buffer : pool_) freed += buffer.capacity();
    for (const auto& piece : pieces_) freed += piece->text.capacity();
    pieces_.clear();
    std::vector<std::string>().swap(pool_);
    size_ = 0;
    breaks_ = 0;
    changed();
    giveMemoryBack(freed);
    modified_ = false;
}

bool LineWalker::next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = findLineEnd(text_, pos_);
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 2;  // past the CR LF, or past the end of the text
    return true;
}

}  // namespace velmor
