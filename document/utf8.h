#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmor {

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when it is not one.
inline std::size_t utf8Length(std::string_view s) {
    if (s.empty()) return 0;
    auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    std::uint8_t b = at(0);
    std::size_t length = b < 0x80                 ? 1
                         : b >= 0xC2 && b <= 0xDF ? 2
                         : b >= 0xE0 && b <= 0xEF ? 3
                         : b >= 0xF0 && b <= 0xF4 ? 4
                                                  : 0;
    if (length == 0 || length > s.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((at(i) & 0xC0) != 0x80) return 0;
    }
    // Overlong forms, UTF-16 surrogates and code points above U+10FFFF.
    if (b == 0xE0 && at(1) < 0xA0) return 0;
    if (b == 0xED && at(1) > 0x9F) return 0;
    if (b == 0xF0 && at(1) < 0x90) return 0;
    if (b == 0xF4 && at(1) > 0x8F) return 0;
    return length;
}

inline bool isUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        std::size_t length = utf8Length(s.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

}  // namespace velmor
