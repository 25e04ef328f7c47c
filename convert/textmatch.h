#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pairtables.h"

namespace velmor {

// The code a text is read in when it is searched for characters.
enum class TextCode { ShiftJis, Velmor };

// What a find looks for in the lines of a text: bytes as they are, anywhere, or
// characters as they stand in a text of one code. Shift-JIS characters match where
// characters begin (never from a trail byte on); VELMOR characters match single bytes
// outside kanji runs and pairs inside them, whatever shift sequences stand between
// them. Not for use by two threads at once: it remembers where it last looked.
class TextQuery {
  public:
    static TextQuery bytes(std::string bytes);
    // `sjis`: the characters in Shift-JIS. For VELMOR they are first converted as
    // SJIS->VELMOR converts them, with `tables`.
    static TextQuery characters(std::string_view sjis, TextCode code,
                                const PairTables& tables = {});

    bool empty() const { return units_.empty(); }
    // Bytes as they are: every place of the anchor is a match, across line ends too.
    bool anyBytes() const { return anyBytes_; }
    // Bytes every match holds at its start: what a search looks for first.
    const std::string& anchor() const { return anchor_; }
    // Byte length of the match starting at `pos` of `line` (a line without its CR LF),
    // or 0. The anchor has been found there already.
    std::size_t matchAt(std::string_view line, std::size_t pos) const;
    // Every match inside `line`, without overlaps, as (offset, length).
    std::vector<std::pair<std::size_t, std::size_t>> matchesIn(std::string_view line) const;

  private:
    struct Unit {
        std::string bytes;
        bool inRun = false;
    };
    // How the line at `pos` is read: the unit's length, and whether it is a shift.
    struct Read {
        std::size_t length;
        bool shift;
    };
    Read readUnit(std::string_view line, std::size_t pos, bool& inRun) const;
    void setAnchor();

    bool anyBytes_ = false;  // bytes as they are: no code
    TextCode code_ = TextCode::ShiftJis;
    std::vector<Unit> units_;
    std::string anchor_;
    // Where the last look ended: a later look at the same line goes on from there.
    mutable struct {
        const char* line = nullptr;
        std::size_t pos = 0;
        bool inRun = false;
    } cursor_;
};

}  // namespace velmor
