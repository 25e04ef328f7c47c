#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "document/errors.h"
#include "pairtables.h"

namespace velmor {

// The user's own mappings between VELMOR pairs and Shift-JIS double-byte codes,
// kept in both directions. Codes are first byte * 256 + second byte.
class GaijiTable {
  public:
    // Adds one mapping; the caller has checked that neither side is in use yet.
    void add(std::uint16_t velmor, std::uint16_t sjis);

    bool empty() const { return toSjis_.empty(); }
    std::size_t size() const { return toSjis_.size(); }
    const std::map<std::uint16_t, std::uint16_t>& velmorToSjis() const { return toSjis_; }
    const std::map<std::uint16_t, std::uint16_t>& sjisToVelmor() const { return toVelmor_; }

  private:
    std::map<std::uint16_t, std::uint16_t> toSjis_;
    std::map<std::uint16_t, std::uint16_t> toVelmor_;
};

// Copies of the pair tables with the gaiji table's mappings written over the
// arithmetic, so the fast converters apply the table at no cost of their own.
class GaijiPairTables {
  public:
    explicit GaijiPairTables(const GaijiTable& table);
    PairTables tables() const { return {toSjis_.get(), toVelmor_.get()}; }

  private:
    std::unique_ptr<VelmorToSjisTable> toSjis_;
    std::unique_ptr<SjisToVelmorTable> toVelmor_;
};

// What is wrong with a line of a gaiji table.
enum class GaijiProblem {
    VelmorNotHex,       // the first field is not four hex digits
    NoSjisCode,         // the second field is missing
    SjisNotHex,         // the second field is not four hex digits
    VelmorSpace,        // the VELMOR pair starts with 20: the ideographic space
    VelmorKanjiIn,      // the VELMOR pair is a kanji-in sequence
    VelmorKanjiOut,     // the VELMOR pair is the kanji-out sequence
    VelmorControlByte,  // the VELMOR pair holds 0A, 0D or 1A
    SjisBadLead,        // the Shift-JIS code's first byte is no lead byte
    SjisBadTrail,       // the Shift-JIS code's second byte is no trail byte
    VelmorAgain,        // the VELMOR pair was mapped on an earlier line
    SjisAgain,          // the Shift-JIS code was mapped on an earlier line
};

// A gaiji table that cannot be used: the file, the line (from 1) and what is wrong
// with it. The message is the window's text; the fields let others say it in their
// own words.
class EGaijiTableError : public Exception {
  public:
    EGaijiTableError(std::string message, std::string fileName, std::size_t line,
                     GaijiProblem problem, std::string field, std::size_t earlierLine)
        : Exception(std::move(message)),
          FileName(std::move(fileName)),
          Line(line),
          Problem(problem),
          Field(std::move(field)),
          EarlierLine(earlierLine) {}
    std::string FileName;
    std::size_t Line;
    GaijiProblem Problem;
    std::string Field;        // the field concerned as written, bytes as they were
    std::size_t EarlierLine;  // VelmorAgain, SjisAgain: the line that mapped it first
};

// Reads a table from its text, one mapping a line: the VELMOR pair and the Shift-JIS
// code as four hex digits each, then anything as a comment. '#' starts a comment;
// blank lines are ignored. Comments may hold any bytes (UTF-8, Shift-JIS or other).
// Throws EGaijiTableError at the first bad line, naming `fileName` and the line.
GaijiTable parseGaijiTable(std::string_view text, std::string_view fileName);

// Reads and parses the table file at `path`. File errors raise EInOutError.
GaijiTable loadGaijiTable(const std::string& path);

}  // namespace velmor
