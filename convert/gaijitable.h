#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

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

// A gaiji table that cannot be used. The message names the file, the line and
// what is wrong with it.
class EGaijiTableError : public Exception {
  public:
    using Exception::Exception;
};

// Reads a table from its UTF-8 text, one mapping a line: the VELMOR pair and the
// Shift-JIS code as four hex digits each, then anything as a comment. '#' starts a
// comment; blank lines are ignored. Throws EGaijiTableError at the first bad line,
// naming `fileName` and the line.
GaijiTable parseGaijiTable(std::string_view text, std::string_view fileName);

// Reads and parses the table file at `path`. File errors raise EInOutError.
GaijiTable loadGaijiTable(const std::string& path);

}  // namespace velmor
