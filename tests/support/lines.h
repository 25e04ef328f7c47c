#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"

namespace velmor::testing {

using Lines = std::vector<std::string>;

// The Document's lines, each copied.
inline Lines linesOf(const Document& doc) {
    Lines lines;
    for (std::size_t i = 0; i < doc.LineCount(); ++i) lines.emplace_back(doc.LineAt(i));
    return lines;
}

// The loading rules written out byte by byte, as the model the block-wise loader is
// checked against: LF ends a line, every CR is dropped, a Ctrl-Z where a line would
// begin ends the file, and each line gains one space.
inline Lines loadedLines(std::string_view content) {
    Lines lines;
    std::size_t i = 0;
    while (i < content.size() && content[i] != '\x1a') {
        std::string line;
        for (; i < content.size() && content[i] != '\n'; ++i) {
            if (content[i] != '\r') line.push_back(content[i]);
        }
        ++i;  // the LF, or past the end
        lines.push_back(line + " ");
    }
    return lines;
}

}  // namespace velmor::testing
