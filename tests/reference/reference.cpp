// Byte-by-byte converters and line-break normalisation that follow the rules
// literally, one piece at a time. They are slow on purpose: the fast versions are
// checked against them.
#include "reference.h"

#include <map>
#include <optional>
#include <vector>

#include "convert/kanjicode.h"
#include "document/linebreaks.h"

namespace velmor {

namespace {

std::uint8_t byteAt(std::string_view line, std::size_t pos) {
    return static_cast<std::uint8_t>(line[pos]);
}

void appendPair(std::string& out, const KanjiPair& pair) {
    out.push_back(static_cast<char>(pair.first));
    out.push_back(static_cast<char>(pair.second));
}

// The lines of a text whose breaks are CR LF: cut at every CR LF pair, an empty last
// piece (empty text, or text ending in CR LF) being no line.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The mapping of the whole two bytes at `pos` in one direction of a gaiji table.
std::optional<KanjiPair> mapped(const std::map<std::uint16_t, std::uint16_t>* mappings,
                                std::string_view line, std::size_t pos) {
    if (mappings == nullptr || pos + 1 >= line.size()) return std::nullopt;
    auto found =
        mappings->find(static_cast<std::uint16_t>(byteAt(line, pos) << 8 | byteAt(line, pos + 1)));
    if (found == mappings->end()) return std::nullopt;
    return KanjiPair{static_cast<std::uint8_t>(found->second >> 8),
                     static_cast<std::uint8_t>(found->second & 0xFF)};
}

}  // namespace

void convertVelmorToSjisReference(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                                  std::string& out, const GaijiTable* gaiji) {
    KanjiPair& pair = scan.kanjiPair;
    const auto* mappings = gaiji ? &gaiji->velmorToSjis() : nullptr;
    for (std::string_view line : linesOf(text)) {
        scan.KanjiMode = 0;
        std::size_t pos = 0;
        while (pos < line.size()) {
            std::string_view piece = pieceAt(line, pos);
            if (isKanjiIn(piece)) {
                toSjisDone = 1;
                scan.KanjiMode = 1;
                pos += 2;
            } else if (pieceEquals(piece, kKanjiOut)) {
                scan.KanjiMode = 0;
                pos += 2;
            } else if (scan.KanjiMode == 0) {
                out.push_back(line[pos]);
                pos += 1;
            } else if (auto code = mapped(mappings, line, pos)) {
                pair = *code;
                appendPair(out, pair);
                pos += 2;
            } else {
                pair.first = byteAt(line, pos);
                if (pos + 1 < line.size()) pair.second = byteAt(line, pos + 1);
                velmorPairToSjis(pair);
                appendPair(out, pair);
                pos += 2;
            }
        }
        out += "\r\n";
    }
}

void convertSjisToVelmorReference(std::string_view text, ScanState& scan,
                                  std::int32_t& toVelmorDone, std::string& out,
                                  const GaijiTable* gaiji) {
    KanjiPair& pair = scan.kanjiPair;
    const auto* mappings = gaiji ? &gaiji->sjisToVelmor() : nullptr;
    for (std::string_view line : linesOf(text)) {
        scan.KanjiMode = 0;
        std::size_t pos = 0;
        while (pos < line.size()) {
            const std::optional<KanjiPair> own = mapped(mappings, line, pos);
            int range = rangeOf(pieceAt(line, pos));
            if (own || range != 0) {
                toVelmorDone = 1;
                if (scan.KanjiMode == 0) {
                    scan.KanjiMode = 1;
                    appendPair(out, {kKanjiInWritten[0], kKanjiInWritten[1]});
                }
                if (own) {
                    pair = *own;
                } else {
                    // A user-defined character's bytes are not read.
                    if (range != kUserDefinedRange) {
                        pair.first = byteAt(line, pos);
                        if (pos + 1 < line.size()) pair.second = byteAt(line, pos + 1);
                    }
                    sjisPairToVelmor(pair, range == kUserDefinedRange);
                }
                appendPair(out, pair);
                pos += 2;
            } else {
                if (scan.KanjiMode == 1) {
                    scan.KanjiMode = 0;
                    appendPair(out, {kKanjiOut[0], kKanjiOut[1]});
                }
                out.push_back(line[pos]);
                pos += 1;
            }
        }
        if (scan.KanjiMode == 1) {
            scan.KanjiMode = 0;
            appendPair(out, {kKanjiOut[0], kKanjiOut[1]});
        }
        out += "\r\n";
    }
}

bool containsKanjiInReference(std::string_view text) {
    for (std::string_view line : linesOf(text)) {
        for (std::size_t pos = 0; pos < line.size(); ++pos) {
            if (isKanjiIn(pieceAt(line, pos))) return true;
        }
    }
    return false;
}

std::string normalizeLineBreaksReference(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        auto b = static_cast<std::uint8_t>(text[i]);
        if (b == '\r' && i + 1 < n && text[i + 1] == '\n') {
            out += "\r\n";
            i += 2;
        } else if (b == '\r' || b == '\n') {
            out += "\r\n";
            i += 1;
        } else if (isLeadByte(b) && i + 1 < n && text[i + 1] != '\0') {
            out += text.substr(i, 2);
            i += 2;
        } else {
            out += text[i];
            i += 1;
        }
    }
    return out;
}

}  // namespace velmor
