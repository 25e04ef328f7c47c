#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "document/report.h"

namespace velmor {

// One place the UTF-8 step could not carry over: where in its input, and why.
struct CharsetLoss {
    std::size_t offset;
    std::size_t length;
    ReportKind kind;  // NoCp932 or NoUnicode
};

// The step between code page 932 and UTF-8 of --to-utf8 and --from-utf8, through the
// C library's iconv(3) "CP932" converter: its table, not one of this program's. CR,
// LF, space and Ctrl-Z are themselves on both sides and never part of another
// character, so Document text stays Document text, line for line. What has no form
// on the other side is replaced and goes on: towards UTF-8, a byte sequence with no
// Unicode form becomes U+FFFD (a lead byte with a trail byte counts as one sequence);
// towards code page 932, a character with no code page 932 form becomes the geta
// mark 〓 (81 AC), and so does each byte that is no part of a UTF-8 character.
class Utf8Step {
  public:
    enum class Way { ToUtf8, ToCp932 };

    // Throws Exception when the C library has no CP932 converter.
    explicit Utf8Step(Way way);
    ~Utf8Step();
    Utf8Step(const Utf8Step&) = delete;
    Utf8Step& operator=(const Utf8Step&) = delete;

    // Appends `text` converted to `out`; true when something could not be carried
    // over. With `losses`, each such place is added to it, as offsets into `text`.
    bool convert(std::string_view text, std::string& out,
                 std::vector<CharsetLoss>* losses = nullptr);

    // The same a character at a time, for the report: `sourceOf` gets, for each byte
    // appended to `out`, the offset in `text` of the character it came from.
    void convertMapped(std::string_view text, std::string& out, std::vector<std::size_t>& sourceOf);

  private:
    // The length and kind of what iconv refused at the start of `rest`.
    CharsetLoss refused(std::string_view rest) const;

    Way way_;
    iconv_t cd_;
};

}  // namespace velmor
