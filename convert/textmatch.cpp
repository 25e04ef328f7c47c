#include "textmatch.h"

#include <cstdint>

#include "converters.h"
#include "document/bytesearch.h"
#include "document/codepage932.h"
#include "kanjicode.h"

namespace velmor {

namespace {

using Byte = std::uint8_t;

Byte at(std::string_view s, std::size_t pos) {
    return static_cast<Byte>(s[pos]);
}

}  // namespace

TextQuery::Read TextQuery::readUnit(std::string_view line, std::size_t pos, bool& inRun) const {
    const std::size_t n = line.size();
    if (code_ == TextCode::ShiftJis) {
        const bool pair =
            isLeadByte(at(line, pos)) && pos + 1 < n && isTrailByte(at(line, pos + 1));
        return {pair ? 2u : 1u, false};
    }
    // As the conversion to Shift-JIS reads VELMOR: a shift sequence wherever it stands,
    // else a single byte outside a run and a pair inside one.
    if (pos + 1 < n && at(line, pos) == 0x93) {
        const Byte second = at(line, pos + 1);
        if (isKanjiInSecond(second) || second == kKanjiOut[1]) {
            inRun = second != kKanjiOut[1];
            return {2, true};
        }
    }
    return {inRun && pos + 1 < n ? 2u : 1u, false};
}

TextQuery TextQuery::bytes(std::string bytes) {
    TextQuery query;
    query.anyBytes_ = true;
    if (!bytes.empty()) query.units_.push_back({bytes, false});
    query.anchor_ = std::move(bytes);
    return query;
}

TextQuery TextQuery::characters(std::string_view sjis, TextCode code, const PairTables& tables) {
    TextQuery query;
    query.code_ = code;
    std::string text(sjis);
    if (code == TextCode::Velmor && !text.empty()) {
        ScanState scan;
        scan.tables = tables;
        std::int32_t done = 0;
        std::string converted;
        convertSjisToVelmor(text, scan, done, converted);
        text = converted.substr(0, converted.size() - 2);  // without the line end
    }
    bool inRun = false;
    for (std::size_t pos = 0; pos < text.size();) {
        const Read unit = query.readUnit(text, pos, inRun);
        if (!unit.shift) query.units_.push_back({text.substr(pos, unit.length), inRun});
        pos += unit.length;
    }
    query.setAnchor();
    return query;
}

void TextQuery::setAnchor() {
    anchor_.clear();
    if (units_.empty()) return;
    const bool run = units_.front().inRun;
    for (const Unit& unit : units_) {
        // An ideographic space in a run is a space and any byte: only the space is sure.
        const bool space = unit.inRun && unit.bytes[0] == ' ';
        if (unit.inRun != run || space) {
            if (anchor_.empty()) anchor_ = unit.bytes.substr(0, 1);
            break;
        }
        anchor_ += unit.bytes;
    }
}

std::size_t TextQuery::matchAt(std::string_view line, std::size_t pos) const {
    if (units_.empty() || pos >= line.size()) return 0;
    if (anyBytes_) return line.substr(pos).starts_with(anchor_) ? anchor_.size() : 0;
    // Where the characters begin is read from the line's start, or from where the
    // last look at this line ended.
    if (cursor_.line != line.data() || cursor_.pos > pos) cursor_ = {line.data(), 0, false};
    while (cursor_.pos < pos) cursor_.pos += readUnit(line, cursor_.pos, cursor_.inRun).length;
    if (cursor_.pos != pos) return 0;
    bool inRun = cursor_.inRun;
    std::size_t p = pos;
    for (const Unit& unit : units_) {
        Read read{0, true};
        while (p < line.size() && (read = readUnit(line, p, inRun)).shift) {
            if (p == pos) return 0;  // a match begins with a character
            p += read.length;
        }
        if (p >= line.size() || inRun != unit.inRun || read.length != unit.bytes.size()) return 0;
        const bool spaces = inRun && at(line, p) == ' ' && unit.bytes[0] == ' ';
        if (!spaces && line.compare(p, read.length, unit.bytes) != 0) return 0;
        p += read.length;
    }
    return p - pos;
}

std::vector<std::pair<std::size_t, std::size_t>> TextQuery::matchesIn(std::string_view line) const {
    std::vector<std::pair<std::size_t, std::size_t>> found;
    if (anchor_.empty()) return found;
    for (std::size_t at = findBytes(line, anchor_); at != std::string_view::npos;) {
        const std::size_t length = matchAt(line, at);
        if (length > 0) found.emplace_back(at, length);
        at = findBytes(line, anchor_, at + (length > 0 ? length : 1));
    }
    return found;
}

}  // namespace velmor
