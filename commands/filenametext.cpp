#include "filenametext.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace velmor {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

std::string fromShiftJis(std::string_view name) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(name);
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(name.data());
    std::size_t left = name.size();
    while (left > 0) {
        char* w = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t result = iconv(cd, &in, &left, &w, &room);
        out.append(buffer, static_cast<std::size_t>(w - buffer));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte that starts no character: shown as such, and the rest read on.
            out += kReplacement;
            ++in;
            --left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

bool isUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            code = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            code = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            code = b & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<std::uint8_t>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            code = code << 6 | (c & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8.
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
            (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string displayFileName(std::string_view path) {
    std::string shown;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        const std::string_view part = path.substr(start, slash - start);
        shown += isUtf8(part) ? std::string(part) : fromShiftJis(part);
        if (slash < path.size()) shown += '/';
        start = slash + 1;
    }
    return shown;
}

}  // namespace velmor
