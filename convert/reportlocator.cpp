#include "reportlocator.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/linebreaks.h"
#include "kanjicode.h"
#include "pairtables.h"

namespace velmor {

namespace {

using Byte = std::uint8_t;

// One line of the text as a conversion sees it, with what the entries need.
// A byte of the line whose place in the converted line is asked for: the output of
// the character that holds it (of the next one, for a shift sequence).
struct Watch {
    std::size_t column;
    std::size_t outStart = 0;
    std::size_t outEnd = 0;
    bool seen = false;
};

struct LineScan {
    std::string_view line;
    std::size_t number;     // 1-based
    std::size_t inputEnd;   // the input file's line length: without the loaded space
    std::size_t outColumn;  // 0-based offset in the converted line
    const LoadColumnMap& columns;
    ConversionReport& report;
    std::vector<Watch>* watches = nullptr;

    // The character of `length` bytes at `pos` is written as `outLength` bytes at
    // outColumn.
    void unit(std::size_t pos, std::size_t length, std::size_t outLength) {
        if (watches == nullptr) return;
        for (Watch& w : *watches) {
            if (!w.seen && w.column < pos + length)
                w = {w.column, outColumn, outColumn + outLength, true};
        }
    }

    Byte at(std::size_t pos) const { return static_cast<Byte>(line[pos]); }

    std::uint16_t codeAt(std::size_t pos) const {
        return static_cast<std::uint16_t>(at(pos) << 8 | at(pos + 1));
    }

    void add(ReportKind kind, std::size_t pos, std::size_t length, std::size_t viewLength) {
        report.add({kind, number, columns.fileColumn(number, pos + 1),
                    std::string(line.substr(pos, length)), length, number - 1, outColumn,
                    viewLength});
    }
};

bool inTable(const std::map<std::uint16_t, std::uint16_t>* map, std::uint16_t code) {
    return map != nullptr && map->contains(code);
}

void scanToVelmor(LineScan& s, const GaijiTable* table) {
    const auto* map = table ? &table->sjisToVelmor() : nullptr;
    const std::string_view line = s.line;
    // Whether the piece at pos is converted as a double-byte character, and which
    // range holds it (0 for none, or for one the table maps).
    auto rangeAt = [&](std::size_t pos, bool& pair) {
        if (pos + 1 < line.size() && inTable(map, s.codeAt(pos))) {
            pair = true;
            return 0;
        }
        int range = rangeOf(pieceAt(line, pos));
        pair = range != 0;
        return range;
    };
    bool inRun = false;
    std::size_t trailOf = std::string_view::npos;  // trail of an outside-ranges character
    for (std::size_t pos = 0; pos < line.size();) {
        const Byte b = s.at(pos);
        bool pair = false;
        const int range = rangeAt(pos, pair);
        if (pair != inRun) s.outColumn += 2;  // a kanji-in or kanji-out comes first
        inRun = pair;
        const std::size_t outLength = pair ? 2 : 1;
        s.unit(pos, pair ? 2 : 1, outLength);
        if (pos == trailOf) {
            // The second byte of the character reported just before: nothing new.
        } else if (pos + 1 == s.inputEnd && isLeadByte(b)) {
            s.add(ReportKind::LoneLeadByte, pos, 1, outLength);
        } else if (range == kUserDefinedRange) {
            const bool extension = pos + 1 < line.size() && s.codeAt(pos) >= kIbmExtensionFirst &&
                                   s.codeAt(pos) <= kIbmExtensionLast;
            s.add(extension ? ReportKind::IbmExtension : ReportKind::Gaiji, pos, 2, 2);
        } else if (!pair && isLeadByte(b) && pos + 1 < s.inputEnd && isTrailByte(s.at(pos + 1))) {
            // The trail byte is examined next as a piece of its own; when it stays a
            // single byte too, both bytes stand side by side in the output.
            bool trailPair = false;
            rangeAt(pos + 1, trailPair);
            s.add(ReportKind::OutsideRanges, pos, 2, trailPair ? 1 : 2);
            trailOf = pos + 1;
        }
        s.outColumn += outLength;
        pos += pair ? 2 : 1;
    }
}

void scanToSjis(LineScan& s, const GaijiTable* table) {
    const auto* map = table ? &table->velmorToSjis() : nullptr;
    const std::string_view line = s.line;
    bool inRun = false;
    for (std::size_t pos = 0; pos < line.size();) {
        const std::string_view piece = pieceAt(line, pos);
        if (isKanjiIn(piece)) {
            inRun = true;
            pos += 2;
            continue;
        }
        if (pieceEquals(piece, kKanjiOut)) {
            inRun = false;
            pos += 2;
            continue;
        }
        if (!inRun) {
            s.unit(pos, 1, 1);
            ++s.outColumn;
            ++pos;
            continue;
        }
        const Byte first = s.at(pos);
        s.unit(pos, 2, 2);
        // A pair whose first byte is a space is the ideographic space, whatever follows.
        if (first != 0x20) {
            if (pos + 1 == s.inputEnd) {
                s.add(ReportKind::CutPair, pos, 1, 2);
            } else if (pos + 1 < s.inputEnd && !inTable(map, s.codeAt(pos)) &&
                       !(isVelmorKanjiByte(first) && isVelmorKanjiByte(s.at(pos + 1)))) {
                s.add(ReportKind::InvalidPair, pos, 2, 2);
            }
        }
        s.outColumn += 2;
        pos += 2;
    }
}

// The input line's length: without the space loading appended.
std::size_t inputEndOf(std::string_view line) {
    return !line.empty() && line.back() == ' ' ? line.size() - 1 : line.size();
}

void scanLine(LineScan& scan, Direction direction, const GaijiTable* table) {
    if (direction == Direction::ToVelmor) {
        scanToVelmor(scan, table);
    } else {
        scanToSjis(scan, table);
    }
}

}  // namespace

void locateConversionEntries(std::string_view text, Direction direction, const GaijiTable* table,
                             const LoadColumnMap& columns, ConversionReport& report,
                             std::size_t firstLine) {
    LineWalker lines(text);
    std::string_view line;
    for (std::size_t number = firstLine + 1; lines.next(line); ++number) {
        LineScan scan{line, number, inputEndOf(line), 0, columns, report};
        scanLine(scan, direction, table);
    }
}

void moveViewPlace(ReportEntry& entry, std::string_view line, Direction direction,
                   const GaijiTable* table) {
    if (entry.viewLength == 0) return;
    std::vector<Watch> watches{{entry.viewColumn}, {entry.viewColumn + entry.viewLength - 1}};
    ConversionReport unused;
    const LoadColumnMap noColumns{ConversionReport{}};
    LineScan scan{line, 1, inputEndOf(line), 0, noColumns, unused, &watches};
    scanLine(scan, direction, table);
    // Bytes past the last character (none in practice) go to the converted line's end.
    for (Watch& w : watches) {
        if (!w.seen) w.outStart = w.outEnd = scan.outColumn;
    }
    entry.viewColumn = watches[0].outStart;
    entry.viewLength = std::max<std::size_t>(1, watches[1].outEnd - watches[0].outStart);
}

void addPieceEntries(const LoadedPiece& piece, Direction direction, const GaijiTable* table,
                     bool mayReport, ConversionReport& report) {
    ConversionReport load;
    if (!piece.raw.empty()) locateLoadEntries(piece.raw, load);
    addShifted(load, piece.firstLine, report);
    if (!mayReport) return;
    ConversionReport found;
    locateConversionEntries(piece.text, direction, table, LoadColumnMap(load), found);
    addShifted(found, piece.firstLine, report);
}

}  // namespace velmor
