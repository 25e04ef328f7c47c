#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

namespace velmor {

// Turns Document bytes into text for the screen, reading them as code page 932.
// Every byte shows up as something: control bytes as control pictures and an en
// space (TAB as an arrow padded to the next tab stop), bytes that are no valid
// character as U+FFFD, so nothing is ever hidden and a line is never cut short.

// Byte length of the character starting at `pos`: 2 for a lead byte followed by a
// valid second byte, else 1.
std::size_t displayCharLength(std::string_view line, std::size_t pos);

// Number of characters `line` shows as.
std::size_t displayCharCount(std::string_view line);

// The text of at most `maxChars` characters of `line`, after skipping `skipChars`
// characters. Only the bytes shown are decoded, so a very long line costs nothing
// beyond the part on screen (and a quick scan over the skipped part).
QString displayText(std::string_view line, std::size_t skipChars, std::size_t maxChars);

// Byte offset in `line` of its character number `chars` (0-based); the line's size
// past its last character.
std::size_t byteOfChar(std::string_view line, std::size_t chars);

// The line as text to paste elsewhere: as displayText shows it, but TAB as a tab.
QString copyText(std::string_view line);

// The short name a control picture stands for ("NUL", "CR", "SUB"), or an empty
// string for any other character.
QString controlName(QChar c);

// The arrow TAB is shown as, and the space after each control picture on screen.
inline constexpr char16_t kTabArrow = 0x21E5;
inline constexpr char16_t kControlPad = 0x2002;

}  // namespace velmor
