#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// The one text the program works on, as raw bytes whose line breaks are CR LF.
// Lines are cut at every CR LF pair; a lone CR or LF belongs to its line, and an
// empty last piece (empty text, or text ending in CR LF) is not a line.
// Lines have no length limit and NUL is an ordinary byte.
class Document {
  public:
    const std::string& WholeText() const { return text_; }
    std::size_t LineCount() const;
    // The whole line without its break; empty for an index at or past LineCount.
    // The view stays valid until the text changes.
    std::string_view LineAt(std::size_t index) const;

    // The text's size in bytes.
    std::size_t TextSize() const { return text_.size(); }
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
    // Adds `bytes` at the end of the text as they are (loading adds many lines at
    // once this way) and sets the modified mark.
    void AppendText(std::string_view bytes);
    // AppendText for a Document that is empty or ends with CR LF, given `lines` whose
    // only CR LFs end lines, at the offsets `lineEnds` just past each (a loaded
    // text's): the index grows from them without a look at the bytes.
    void AppendLines(std::string_view lines, std::span<const std::size_t> lineEnds);
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

    // Makes room for a text of `bytes` bytes in at most `lines` more lines, so a load
    // grows the text and its line index only once. The index is then kept up to date
    // by every append, while the appended bytes are still in the cache: the view
    // needs it at once after a load, and one more pass over a large text costs more.
    void reserve(std::size_t bytes, std::size_t lines);

  private:
    void ensureIndex() const;

    std::string text_;
    bool modified_ = false;
    std::size_t storageLimit_ = static_cast<std::size_t>(-1);
    // Start offset of every line, built by a load (reserve) or on first use by
    // LineCount/LineAt, and kept up to date by the appends; bulk readers walk the text
    // and never need it.
    mutable std::vector<std::size_t> lineStarts_;
    mutable bool indexed_ = false;
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

}  // namespace velmor
