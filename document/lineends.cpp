#include "lineends.h"

#include <cstring>

namespace velmor {

void markLineEnds(char* data, std::size_t size, bool atEnd, std::vector<LineEnd>& ends,
                  std::vector<std::size_t>& loneCrs) {
    // The next CR and LF at or after `pos`, each looked for again only once passed.
    const auto next = [&](char c, std::size_t from) {
        const void* at = std::memchr(data + from, c, size - from);
        return at == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(at) - data);
    };
    std::size_t pos = 0;
    std::size_t cr = next('\r', 0), lf = next('\n', 0);
    while (pos < size && (cr < size || lf < size)) {
        if (lf < cr) {
            ends.push_back(LineEnd::Lf);
            pos = lf + 1;
        } else if (cr + 1 < size && data[cr + 1] == '\n') {
            ends.push_back(LineEnd::CrLf);
            pos = cr + 2;
        } else {
            data[cr] = '\n';
            loneCrs.push_back(cr);
            ends.push_back(LineEnd::Cr);
            pos = cr + 1;
        }
        if (cr < pos) cr = next('\r', pos);
        if (lf < pos) lf = next('\n', pos);
    }
    if (atEnd && pos < size) ends.push_back(LineEnd::None);
}

void appendSavedWithEnds(std::string_view text, std::span<const LineEnd> ends, std::string& out) {
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    std::size_t line = 0;
    while (!text.empty()) {
        std::size_t end = text.find("\r\n");
        std::string_view content = text.substr(0, end);
        if (!content.empty() && content.back() == ' ') content.remove_suffix(1);
        out.append(content);
        const std::size_t first = lines > ends.size() ? lines - ends.size() : 0;
        out.append(line >= first && line - first < ends.size() ? lineEndBytes(ends[line - first])
                                                               : std::string_view("\r\n"));
        ++line;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
    }
}

}  // namespace velmor
