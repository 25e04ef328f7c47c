#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// What the conversion report records: a place where the saved bytes will not carry
// the meaning of the input file's bytes.
enum class ReportKind : std::uint8_t {
    AfterEndMark,   // bytes after a Ctrl-Z at a line start, not loaded
    LoneCr,         // a CR not followed by LF, dropped on loading
    Gaiji,          // a user-defined character written as two spaces
    OutsideRanges,  // a double-byte character in no range, copied as single bytes
    LoneLeadByte,   // a lead byte as the line's last byte
    InvalidPair,    // a pair in a run with a byte that is no VELMOR kanji byte
    CutPair,        // a line ending after the first byte of a pair in a run
    // A code page 932 character at FA40-FC4B (an IBM extension such as 髙 or ⅰ), which
    // the VELMOR code has no place for: written as two spaces, as a gaiji is.
    IbmExtension,
    NoCp932,    // UTF-8 in: a character with no code page 932 form, written as 〓
    NoUnicode,  // bytes with no Unicode form: written as U+FFFD (or, towards VELMOR, 〓)
};
inline constexpr std::size_t kReportKindCount = 10;

// The kind's name as the command line and the JSON report print it.
std::string_view reportKindName(ReportKind kind);

// Bytes kept per entry; an after-end-mark entry keeps only the first of its bytes.
inline constexpr std::size_t kReportBytesKept = 16;

struct ReportEntry {
    ReportKind kind;
    std::size_t line;    // 1-based line of the input file
    std::size_t column;  // 1-based byte column in that line of the input file
    std::string bytes;   // the input bytes concerned (at most kReportBytesKept)
    std::size_t length;  // how many input bytes are concerned
    // Where the view shows the bytes after the step that found the entry: 0-based
    // line and byte offset in the Document's text, and a length (0: nothing shown).
    std::size_t viewLine;
    std::size_t viewColumn;
    std::size_t viewLength;
    friend bool operator==(const ReportEntry&, const ReportEntry&) = default;
};

// The entries of one load and the conversions after it, with counts per kind.
class ConversionReport {
  public:
    void add(ReportEntry entry);
    // Records a conversion of the Document's text and the entries it found: the
    // entries held before keep their place in the file; `moveView` moves each to where
    // the conversion put its bytes in the view. Without it they are no longer shown.
    void addConversion(const ConversionReport& found,
                       const std::function<void(ReportEntry&)>& moveView = {});
    void clear();

    // How many conversions were recorded since the load.
    std::size_t conversions() const { return conversions_; }

    // Puts the entries in the order of their places in the input file (line, then
    // column); entries at one place keep the order they were found in.
    void sortByPlace();

    bool empty() const { return entries_.empty(); }
    const std::vector<ReportEntry>& entries() const { return entries_; }
    std::size_t count(ReportKind kind) const { return counts_[static_cast<std::size_t>(kind)]; }

  private:
    std::vector<ReportEntry> entries_;
    std::array<std::size_t, kReportKindCount> counts_{};
    std::size_t conversions_ = 0;
};

}  // namespace velmor
