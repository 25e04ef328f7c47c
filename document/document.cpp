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

// Appends to `breaks` the offset just past every CR LF pair whose LF lies at or after
// `from`. Lines are short in most texts, so the LFs are found sixteen bytes at a time
// rather than by one library call per line.
void collectBreaks(std::string_view text, std::size_t from, std::vector<std::size_t>& breaks) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = from;
#if VELMOR_SSE2
    const __m128i lfs = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), lfs)));
        for (; hits != 0; hits &= hits - 1) {
            std::size_t lf = i + static_cast<std::size_t>(__builtin_ctz(hits));
            if (lf > 0 && p[lf - 1] == '\r') breaks.push_back(lf + 1);
        }
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\n' && i > 0 && p[i - 1] == '\r') breaks.push_back(i + 1);
    }
}

}  // namespace

void Document::ensureIndex() const {
    if (indexed_) return;
    lineStarts_.clear();
    collectBreaks(text_, 0, lineStarts_);
    indexed_ = true;
}

// lineStarts_ holds the offset after every CR LF pair; line i starts at the
// (i-1)-th of them, or at 0.
std::size_t Document::LineCount() const {
    ensureIndex();
    std::size_t lastBreak = lineStarts_.empty() ? 0 : lineStarts_.back();
    return lineStarts_.size() + (text_.size() > lastBreak ? 1 : 0);
}

std::string_view Document::LineAt(std::size_t index) const {
    if (index >= LineCount()) return {};
    std::size_t begin = index == 0 ? 0 : lineStarts_[index - 1];
    std::size_t end = index < lineStarts_.size() ? lineStarts_[index] - 2 : text_.size();
    return std::string_view(text_).substr(begin, end - begin);
}

std::string_view Document::TextChunk(std::size_t offset, std::size_t maxBytes) const {
    if (offset >= text_.size()) return {};
    return std::string_view(text_).substr(offset, maxBytes);
}

std::size_t Document::LineOffset(std::size_t index) const {
    if (index >= LineCount()) return text_.size();
    return index == 0 ? 0 : lineStarts_[index - 1];
}

std::size_t Document::LineAtOffset(std::size_t offset) const {
    const std::size_t count = LineCount();
    if (count == 0) return 0;
    // Lines before the one holding `offset` are those starting at or before it.
    const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    return std::min(static_cast<std::size_t>(after - lineStarts_.begin()), count - 1);
}

void Document::reserve(std::size_t bytes, std::size_t lines) {
    text_.reserve(bytes);
    adviseHugePages(text_.data() + text_.size(), text_.capacity() - text_.size());
    ensureIndex();
    lineStarts_.reserve(lineStarts_.size() + lines);
    adviseHugePages(lineStarts_.data() + lineStarts_.size(),
                    (lineStarts_.capacity() - lineStarts_.size()) * sizeof(std::size_t));
}

void Document::AppendLine(std::string_view line) {
    std::size_t oldSize = text_.size();
    if (text_.empty() || endsWithCrLf(text_)) {
        text_.append(line);
        text_.append(kCrLf);
    } else {
        text_.append(kCrLf);
        text_.append(line);
    }
    if (indexed_) collectBreaks(text_, oldSize, lineStarts_);
    modified_ = true;
}

void Document::AppendText(std::string_view bytes) {
    // A CR LF split between the old end and the new bytes is found: its LF is new.
    std::size_t oldSize = text_.size();
    text_.append(bytes);
    if (indexed_) collectBreaks(text_, oldSize, lineStarts_);
    modified_ = true;
}

void Document::AppendLines(std::string_view lines, std::span<const std::size_t> lineEnds) {
    const std::size_t base = text_.size();
    text_.append(lines);
    if (indexed_) {
        for (std::size_t end : lineEnds) lineStarts_.push_back(base + end);
    }
    modified_ = true;
}

void Document::ReplaceText(std::string text) {
    constexpr char kRefused[] = "文字列の大きさが メモ の制限を越えました";
    try {
        std::string normal =
            lineBreaksAreNormal(text) ? std::move(text) : NormalizeLineBreaks(text);
        if (normal == text_) return;
        if (normal.size() > storageLimit_) throw EInvalidOperation(kRefused);
        text_ = std::move(normal);
        lineStarts_.clear();
        lineStarts_.shrink_to_fit();
        indexed_ = false;
    } catch (const std::bad_alloc&) {
        throw EInvalidOperation(kRefused);
    }
    modified_ = false;
}

void Document::ClearText() {
    text_.clear();
    text_.shrink_to_fit();
    lineStarts_.clear();
    lineStarts_.shrink_to_fit();
    indexed_ = false;
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
