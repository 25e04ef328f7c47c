#include "keptlineends.h"

namespace velmor {

void appendKeptLineEnds(std::string_view text, std::span<const std::size_t> lineEnds,
                        std::span<const LineEndRead> endsRead, std::string& out) {
    out.reserve(out.size() + text.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i < lineEnds.size(); ++i) {
        std::string_view line = text.substr(start, lineEnds[i] - 2 - start);
        if (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        out.append(line);
        const LineEndRead end = i < endsRead.size() ? endsRead[i] : LineEndRead::CrLf;
        if (end == LineEndRead::CrLf) out.append("\r\n");
        if (end == LineEndRead::Lf) out.push_back('\n');
        start = lineEnds[i];
    }
}

}  // namespace velmor
