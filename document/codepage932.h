#pragma once

#include <cstdint>

namespace velmor {

// The bytes of code page 932 double-byte characters: the first is a lead byte, the
// second a trail byte.
constexpr bool isLeadByte(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

constexpr bool isTrailByte(std::uint8_t b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

}  // namespace velmor
