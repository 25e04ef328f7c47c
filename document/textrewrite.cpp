#include "textrewrite.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "errors.h"
#include "linebreaks.h"

namespace velmor {

namespace {

constexpr char kRefused[] = "文字列の大きさが メモ の制限を越えました";

// Takes from `buffers` the last one that holds `capacity` bytes (the last given back
// is the likeliest to be still in the cache).
bool takeFrom(std::vector<std::string>& buffers, std::size_t capacity, std::string& out) {
    for (std::size_t i = buffers.size(); i-- > 0;) {
        if (buffers[i].capacity() >= capacity) {
            out = std::move(buffers[i]);
            buffers[i] = std::move(buffers.back());
            buffers.pop_back();
            out.clear();
            return true;
        }
    }
    return false;
}

}  // namespace

TextRewrite::TextRewrite(Document& doc) : doc_(doc) {}

TextRewrite::~TextRewrite() {
    if (released_ && !committed_) {
        std::fputs("velmor: a rewrite of the text stopped after it had begun to replace it\n",
                   stderr);
        std::abort();
    }
}

bool TextRewrite::allowRelease(std::size_t buffers, std::size_t capacity) {
    if (doc_.storageLimit_ != static_cast<std::size_t>(-1)) return false;
    std::vector<std::string> reserved;
    try {
        reserved.reserve(buffers);
        for (std::size_t i = 0; i < buffers; ++i) {
            // Reserved, not written: address space, no memory until the writer uses it.
            std::string buffer;
            buffer.reserve(capacity);
            reserved.push_back(std::move(buffer));
        }
    } catch (const std::bad_alloc&) {
        return false;  // the rewrite goes on keeping the old text until it is committed
    }
    std::lock_guard lock(mutex_);
    reserve_ = std::move(reserved);
    releaseAllowed_ = true;
    return true;
}

bool TextRewrite::released() const {
    std::lock_guard lock(mutex_);
    return released_;
}

std::string TextRewrite::take(std::size_t minimum, std::size_t fresh) {
    std::string buffer;
    {
        std::lock_guard lock(mutex_);
        if (takeFrom(doc_.pool_, minimum, buffer) || takeFrom(reserve_, minimum, buffer)) {
            return buffer;
        }
    }
    buffer.reserve(std::max(minimum, fresh));
    return buffer;
}

void TextRewrite::giveBack(std::string&& buffer) {
    std::lock_guard lock(mutex_);
    putInPool(std::move(buffer));
}

// Buffers too small to hold a piece's worth of lines are not worth keeping.
void TextRewrite::putInPool(std::string&& buffer) {
    if (buffer.capacity() < (std::size_t{64} << 10)) return;
    buffer.clear();
    doc_.pool_.push_back(std::move(buffer));
}

void TextRewrite::release(std::size_t i) {
    if (!releaseAllowed_) return;
    Document::Piece& piece = *doc_.pieces_[i];
    piece.dropIndex();
    std::lock_guard lock(mutex_);
    putInPool(std::move(piece.text));
    piece.text.clear();
    released_ = true;
}

void TextRewrite::commit(std::vector<NewPiece>&& pieces, bool changed) {
    std::lock_guard lock(mutex_);
    if (!changed && !released_) {
        for (NewPiece& piece : pieces) putInPool(std::move(piece.text));
        committed_ = true;
        return;
    }
    std::size_t size = 0;
    for (const NewPiece& piece : pieces) size += piece.text.size();
    if (size > doc_.storageLimit_) throw EInvalidOperation(kRefused);
    std::vector<std::unique_ptr<Document::Piece>> made;
    made.reserve(pieces.size());
    std::size_t offset = 0, lines = 0;
    for (NewPiece& piece : pieces) {
        if (piece.text.empty()) continue;
        auto made1 = std::make_unique<Document::Piece>();
        made1->offset = offset;
        made1->firstLine = lines;
        made1->breaks = piece.breaks;
        made1->longest = piece.longest;
        const std::size_t lastBreak = piece.text.rfind("\r\n");
        made1->lastStart = endsWithCrLf(piece.text)         ? piece.text.size()
                           : lastBreak == std::string::npos ? 0
                                                            : lastBreak + 2;
        offset += piece.text.size();
        lines += piece.breaks;
        made1->text = std::move(piece.text);
        made.push_back(std::move(made1));
    }
    for (auto& old : doc_.pieces_) {
        if (old->text.capacity() > 0) putInPool(std::move(old->text));
    }
    doc_.pieces_ = std::move(made);
    doc_.size_ = offset;
    doc_.breaks_ = lines;
    // What the next rewrite may want beside the text it rewrites; the rest goes back.
    std::size_t kept = 0;
    const std::size_t keep = std::max(doc_.size_ / 2, 2 * doc_.pieceBytes_);
    std::vector<std::string> pool;
    for (std::string& buffer : doc_.pool_) {
        if (kept + buffer.capacity() > keep) continue;
        kept += buffer.capacity();
        pool.push_back(std::move(buffer));
    }
    doc_.pool_ = std::move(pool);
    committed_ = true;
    if (changed) {
        doc_.changed();
        doc_.modified_ = false;
    } else {
        // The same bytes in other memory: readers' views of the old pieces are gone, but
        // what they read is unchanged.
        std::lock_guard wholeLock(doc_.wholeMutex_);
        doc_.wholeValid_ = doc_.pieces_.empty();
        std::string().swap(doc_.whole_);
    }
}

}  // namespace velmor
