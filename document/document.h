#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

class TextRewrite;

// The one text the program works on, as raw bytes whose line breaks are CR LF.
// Lines are cut at every CR LF pair; a lone CR or LF belongs to its line, and an
// empty last piece (empty text, or text ending in CR LF) is not a line.
// Lines have no length limit and NUL is an ordinary byte.
//
// The text is held as a sequence of pieces of a few megabytes, each cut after a
// CR LF, so that no line and no CR LF pair is split between two pieces. A load hands
// its pieces over as they are, a conversion writes each new piece into the memory of
// pieces it no longer needs (TextRewrite), and a save writes them one after the other:
// none of them needs the text in one string. Each piece finds its lines through an
// index of its own, built the first time a line of it is asked for.
class Document {
  public:
    Document() = default;
    Document(const Document& other);
    Document& operator=(const Document& other);
    Document(Document&& other) noexcept;
    Document& operator=(Document&& other) noexcept;
    ~Document();

    // The text in one string, for the few callers that need it so: put together on the
    // first call after each change and kept until the next change.
    const std::string& WholeText() const;
    std::size_t LineCount() const;
    // The whole line without its break; empty for an index at or past LineCount.
    // The view stays valid until the text changes.
    std::string_view LineAt(std::size_t index) const;

    // The text's size in bytes.
    std::size_t TextSize() const { return size_; }
    // Bytes of the text from `offset` on that lie together, at most `maxBytes` and at
    // least one before the end: a reader that walks the text a chunk at a time does
    // not depend on the text being held in one piece.
    std::string_view TextChunk(std::size_t offset, std::size_t maxBytes) const;
    // Offset in the text of the first byte of line `index`; TextSize() for an index
    // at or past LineCount.
    std::size_t LineOffset(std::size_t index) const;
    // The line that holds the byte at `offset` (its CR LF belongs to it); the last
    // line for an offset at or past the end, 0 for an empty text.
    std::size_t LineAtOffset(std::size_t offset) const;

    // Adds a line after the last one and sets the modified mark.
    void AppendLine(std::string_view line);
    // Adds `bytes` at the end of the text as they are and sets the modified mark.
    void AppendText(std::string_view bytes);
    // AppendText for a Document that is empty or ends with CR LF, given whole `lines`,
    // each ending in CR LF, `breaks` CR LF pairs in all and none longer than `longest`
    // bytes: they become a piece of the text as they are, memory included (a loaded
    // piece).
    void appendPiece(std::string&& lines, std::size_t breaks, std::size_t longest);
    // Replaces the whole text with NormalizeLineBreaks(text). An unchanged text
    // leaves everything as it is; a changed one clears the modified mark.
    // Throws EInvalidOperation, keeping text and mark, when memory runs out.
    void ReplaceText(std::string text);
    // Empties the text and clears the modified mark.
    void ClearText();

    bool ModifiedMark() const { return modified_; }
    void SetModifiedMark(bool value) { modified_ = value; }

    // Largest text ReplaceText accepts; beyond it the storage refuses. Unlimited by
    // default, where only running out of memory refuses a text.
    void setStorageLimit(std::size_t bytes) { storageLimit_ = bytes; }
    std::size_t storageLimit() const { return storageLimit_; }

    // The pieces: whole lines each, every one but the last ending in CR LF.
    std::size_t pieceCount() const { return pieces_.size(); }
    std::string_view piece(std::size_t i) const { return pieces_[i]->text; }
    // Offset in the text of piece i's first byte, and the number of lines before it.
    std::size_t pieceOffset(std::size_t i) const { return pieces_[i]->offset; }
    std::size_t pieceFirstLine(std::size_t i) const { return pieces_[i]->firstLine; }

    // No line is longer than this many bytes (the CR of a line end may count).
    std::size_t longestLine() const;
    // The text ends with CR LF (an empty one does not).
    bool endsWithLineBreak() const;

    // Changes with every change of the text (not of the mark): a reader can tell
    // whether what it read is still there.
    std::uint64_t version() const { return version_; }

    // Size a piece is filled to before the next one begins (tests make it small to
    // put piece boundaries everywhere). Applies to text added from now on.
    void setPieceBytes(std::size_t bytes) { pieceBytes_ = bytes > 0 ? bytes : 1; }
    std::size_t pieceBytes() const { return pieceBytes_; }

    static constexpr std::size_t kDefaultPieceBytes = std::size_t{4} << 20;

  private:
    friend class TextRewrite;

    // Offsets just past each CR LF of a piece, built on first need; a piece never holds
    // a line start at 4 GiB or beyond (it would have been cut before).
    using LineIndex = std::vector<std::uint32_t>;

    struct Piece {
        std::string text;
        std::size_t offset = 0;     // of its first byte in the text
        std::size_t firstLine = 0;  // CR LF pairs before it
        std::size_t breaks = 0;     // CR LF pairs in it
        std::size_t longest = 0;    // bytes of its longest line
        std::size_t lastStart = 0;  // offset of its last line's start
        mutable std::atomic<LineIndex*> index{nullptr};
        ~Piece();
        const LineIndex& lines() const;
        void dropIndex();
    };

    std::size_t pieceAt(std::size_t offset) const;
    std::size_t pieceOfLine(std::size_t line) const;
    Piece& openPiece();
    void appendBytes(std::string_view bytes);
    void changed();
    void copyFrom(const Document& other);
    // Gives the memory of pieces the Document drops back to the system.
    void freePieces(std::vector<std::unique_ptr<Piece>>& pieces);
    bool sameText(std::string_view text) const;
    void setPieces(std::string&& text);

    std::vector<std::unique_ptr<Piece>> pieces_;
    std::size_t size_ = 0;
    std::size_t breaks_ = 0;
    bool modified_ = false;
    std::size_t storageLimit_ = static_cast<std::size_t>(-1);
    std::size_t pieceBytes_ = kDefaultPieceBytes;
    std::uint64_t version_ = 0;
    // Memory of earlier pieces, kept for the next conversion's new pieces.
    std::vector<std::string> pool_;
    mutable std::mutex wholeMutex_;
    mutable std::string whole_;
    mutable bool wholeValid_ = true;  // the empty text is its own whole
};

// Walks the lines of a text in order without an index.
class LineWalker {
  public:
    explicit LineWalker(std::string_view text) : text_(text) {}
    // Sets `line` to the next line and returns true, or returns false after the last.
    bool next(std::string_view& line);

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Number of CR LF pairs in `text` whose LF lies at or after `from`.
std::size_t countBreaks(std::string_view text, std::size_t from = 0);

// The CR LF pairs of a text and the bytes of its longest line.
struct LineCounts {
    std::size_t breaks = 0;
    std::size_t longest = 0;
};
LineCounts countLines(std::string_view text);

}  // namespace velmor
