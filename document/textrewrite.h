#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "document.h"

namespace velmor {

// One piece of a rewritten text: whole lines, every piece but the last ending in
// CR LF, and the number of CR LF pairs in it.
struct NewPiece {
    std::string text;
    std::size_t breaks = 0;
    std::size_t longest = 0;  // bytes of its longest line
};

// Replaces a Document's whole text by a new one written piece by piece, as a conversion
// does. New pieces are written into buffers taken from memory the Document no longer
// needs: its pool (pieces of earlier steps), the old pieces already rewritten, and only
// where these run short fresh memory. Until commit() the Document keeps its text, and a
// rewrite dropped without commit() leaves it as it was.
//
// With release allowed, each old piece goes to the pool once the writer is done with it,
// so that the old and the new text are never held whole at the same time. A piece
// released cannot come back: from then on the rewrite must be committed. That is why
// release is allowed only once the memory the rest can need in the worst case is
// secured (reserved, not yet touched), so that nothing after the first release has to
// ask for memory that may be refused.
class TextRewrite {
  public:
    explicit TextRewrite(Document& doc);
    // Without commit(): the new pieces' memory goes to the pool and the text stays. A
    // rewrite that released a piece and was not committed ends the program (the text
    // can be neither finished nor put back); the writer never lets that happen.
    ~TextRewrite();
    TextRewrite(const TextRewrite&) = delete;
    TextRewrite& operator=(const TextRewrite&) = delete;

    // The old text, piece by piece (Document::piece and its kin), while not released.
    const Document& old() const { return doc_; }

    // Allows release() once `buffers` fresh buffers of `capacity` bytes each are
    // reserved beside the pool. False, with nothing reserved, where the storage has a
    // limit (a text past it must be refused with the old one kept) or where the
    // memory cannot be had.
    bool allowRelease(std::size_t buffers, std::size_t capacity);
    // release() gives pieces up.
    bool allowed() const { return releaseAllowed_; }
    // A piece was released: the rewrite can no longer be given up.
    bool released() const;

    // May be called from several threads at once.
    // An empty buffer that holds at least `minimum` bytes: from the pool, then from the
    // reserve, else a fresh one of `fresh` bytes (at least `minimum`).
    std::string take(std::size_t minimum, std::size_t fresh);
    // A buffer taken and not used.
    void giveBack(std::string&& buffer);
    // The writer no longer reads old piece `i`: with release allowed, its memory goes
    // to the pool at once.
    void release(std::size_t i);

    // Makes `pieces`, in order, the Document's text. `changed` is false when the new
    // text equals the old byte for byte: then nothing changes, the mark included;
    // otherwise the mark is cleared. Throws EInvalidOperation, changing nothing, where
    // the storage refuses a text of that size (never once a piece was released).
    void commit(std::vector<NewPiece>&& pieces, bool changed);

  private:
    void putInPool(std::string&& buffer);

    Document& doc_;
    mutable std::mutex mutex_;
    std::vector<std::string> reserve_;
    bool releaseAllowed_ = false;
    bool released_ = false;
    bool committed_ = false;
};

}  // namespace velmor
