#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

namespace velmor {

// Turns Document bytes into text for the screen, reading them as code page 932.
// Every byte shows up as something: control bytes as control pictures (TAB as
// spaces), bytes that are no valid character as U+FFFD, so nothing is ever hidden
// and a line is never cut short.

// Byte length of the character starting at `pos`: 2 for a lead byte followed by a
// valid second byte, else 1.
std::size_t displayCharLength(std::string_view line, std::size_t pos);

// Number of characters `line` shows as.
std::size_t displayCharCount(std::string_view line);

// The text of at most `maxChars` characters of `line`, after skipping `skipChars`
// characters. Only the bytes shown are decoded, so a very long line costs nothing
// beyond the part on screen (and a quick scan over the skipped part).
QString displayText(std::string_view line, std::size_t skipChars, std::size_t maxChars);

}  // namespace velmor
