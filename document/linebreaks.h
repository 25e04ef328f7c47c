#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmor {

// Lead bytes of code page 932 double-byte characters.
constexpr bool isLeadByte(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Turns every line break into CR LF: CR LF stays, a lone CR or LF becomes CR LF,
// and a CR or LF right after a lead byte is the lead byte's second byte, not a break.
std::string NormalizeLineBreaks(std::string_view text);

// Byte-by-byte version of NormalizeLineBreaks, kept as the reference the fast one is tested
// against.
std::string normalizeLineBreaksReference(std::string_view text);

// True when NormalizeLineBreaks would return the text unchanged.
bool lineBreaksAreNormal(std::string_view text);

// Position of the first CR LF pair at or after `from`, or text.size() when there is none.
std::size_t findLineEnd(std::string_view text, std::size_t from);

}  // namespace velmor
