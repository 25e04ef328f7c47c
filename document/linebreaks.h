#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "codepage932.h"

namespace velmor {

// Ctrl-Z where a line would begin ends a text file: nothing after it is loaded.
inline constexpr char kCtrlZ = 0x1A;

// Turns every line break into CR LF: CR LF stays, a lone CR or LF becomes CR LF,
// and a CR or LF right after a lead byte is the lead byte's second byte, not a break.
std::string NormalizeLineBreaks(std::string_view text);

// Position of the first CR or LF at or after `from` that is a line break, not the
// second byte of a double-byte character, or text.size() when there is none.
std::size_t findBreak(std::string_view text, std::size_t from);

// True when NormalizeLineBreaks would return the text unchanged.
bool lineBreaksAreNormal(std::string_view text);

// True when the text's last two bytes are CR LF.
constexpr bool endsWithCrLf(std::string_view text) {
    return text.size() >= 2 && text[text.size() - 2] == '\r' && text.back() == '\n';
}

// Position of the first CR LF pair at or after `from`, or text.size() when there is none.
std::size_t findLineEnd(std::string_view text, std::size_t from);

}  // namespace velmor
