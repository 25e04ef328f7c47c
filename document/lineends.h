#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// Keeping each line's own line end, where the saved form would make it CR LF: what a
// line of the input ended with, found while reading, and put back when writing.
enum class LineEnd : std::uint8_t {
    None,  // the last line of the input, without a line end
    Lf,
    CrLf,
    Cr,  // a lone CR: here a line end of its own, not a byte loading drops
};

inline std::string_view lineEndBytes(LineEnd end) {
    switch (end) {
        case LineEnd::Lf:
            return "\n";
        case LineEnd::CrLf:
            return "\r\n";
        case LineEnd::Cr:
            return "\r";
        case LineEnd::None:
            break;
    }
    return {};
}

// Notes the end of every line in `data` (whole lines, the last ended unless `atEnd`)
// in `ends`, and makes every lone CR an LF so that loading ends the line there
// instead of dropping the CR; the positions of those CRs go to `loneCrs`.
void markLineEnds(char* data, std::size_t size, bool atEnd, std::vector<LineEnd>& ends,
                  std::vector<std::size_t>& loneCrs);

// Appends the saved form of `text` (Document text, lines ended by CR LF) with the
// line ends kept: every line without the space loading appended, the last
// ends.size() lines each with its own end, any lines before them (where a conversion
// made a byte of a line into a line break) with CR LF.
void appendSavedWithEnds(std::string_view text, std::span<const LineEnd> ends, std::string& out);

}  // namespace velmor
