#include "utf8report.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "converters.h"
#include "document/document.h"
#include "document/loadreport.h"
#include "kanjicode.h"
#include "reportlocator.h"

namespace velmor {

namespace {

// Where each byte of a line's Shift-JIS came from in the VELMOR line: the offset of
// the byte or pair and how many input bytes it took. Shift sequences give nothing.
struct Source {
    std::size_t offset;
    std::size_t length;
};

std::vector<Source> sjisSources(std::string_view line) {
    std::vector<Source> sources;
    bool inRun = false;
    for (std::size_t pos = 0; pos < line.size();) {
        const std::string_view piece = pieceAt(line, pos);
        if (isKanjiIn(piece) || pieceEquals(piece, kKanjiOut)) {
            inRun = isKanjiIn(piece);
            pos += 2;
        } else if (!inRun) {
            sources.push_back({pos++, 1});
        } else {
            const Source pair{pos, std::min<std::size_t>(2, line.size() - pos)};
            sources.insert(sources.end(), 2, pair);
            pos += 2;
        }
    }
    return sources;
}

ConversionReport loadEntries(const LoadedPiece& piece) {
    ConversionReport load;
    if (!piece.raw.empty()) locateLoadEntries(piece.raw, load);
    return load;
}

ReportEntry entryAt(ReportKind kind, std::size_t number, std::string_view line, std::size_t from,
                    std::size_t to, const LoadColumnMap& columns, std::size_t viewColumn,
                    std::size_t viewLength) {
    return {kind,
            number,
            columns.fileColumn(number, from + 1),
            std::string(line.substr(from, std::min(to - from, kReportBytesKept))),
            to - from,
            number - 1,
            viewColumn,
            viewLength};
}

}  // namespace

void addToUtf8Entries(const LoadedPiece& piece, const PairTables& tables,
                      ConversionReport& report) {
    const LoadColumnMap columns(loadEntries(piece));
    Utf8Step step(Utf8Step::Way::ToUtf8);
    ScanState scan;
    scan.tables = tables;
    ConversionReport found;
    LineWalker lines(piece.text);
    std::string_view line;
    std::string sjis, utf8;
    std::vector<CharsetLoss> losses;
    for (std::size_t number = 1; lines.next(line); ++number) {
        sjis.clear();
        losses.clear();
        std::int32_t done = 0;
        convertVelmorToSjis(line, scan, done, sjis, PartCut{});
        if (!step.convert(sjis, utf8, &losses)) continue;
        const std::vector<Source> sources = sjisSources(line);
        for (const CharsetLoss& loss : losses) {
            if (loss.offset + loss.length > sources.size()) continue;  // the line's CR LF
            const Source& first = sources[loss.offset];
            const Source& last = sources[loss.offset + loss.length - 1];
            found.add(entryAt(loss.kind, number, line, first.offset, last.offset + last.length,
                              columns, loss.offset, loss.length));
        }
    }
    addShifted(found, piece.firstLine, report);
}

void addFromUtf8Entries(const LoadedPiece& piece, std::string_view sjis,
                        const std::vector<CharsetLoss>& losses, const GaijiTable* table,
                        bool mayReport, ConversionReport& report) {
    const ConversionReport load = loadEntries(piece);
    addShifted(load, piece.firstLine, report);
    const LoadColumnMap columns(load);
    const std::string_view text = piece.text;
    // The 1-based line of an offset in the piece's text, and the offset its line starts at.
    const auto lineOf = [&piece](std::size_t offset, std::size_t& start) {
        const auto next = std::upper_bound(piece.lineEnds.begin(), piece.lineEnds.end(), offset);
        start = next == piece.lineEnds.begin() ? 0 : next[-1];
        return static_cast<std::size_t>(next - piece.lineEnds.begin()) + 1;
    };
    ConversionReport found;
    for (const CharsetLoss& loss : losses) {
        std::size_t start = 0;
        const std::size_t number = lineOf(loss.offset, start);
        found.add(entryAt(loss.kind, number, text.substr(start), loss.offset - start,
                          loss.offset - start + loss.length, columns, loss.offset - start, 2));
    }
    if (mayReport) {
        // Found in the Shift-JIS, then taken back to the UTF-8 characters that gave it.
        ConversionReport inSjis;
        locateConversionEntries(sjis, Direction::ToVelmor, table, LoadColumnMap(ConversionReport{}),
                                inSjis);
        Utf8Step step(Utf8Step::Way::ToCp932);
        LineWalker lines(text);  // the entries come line by line
        std::size_t lineNumber = 0;
        std::string_view line;
        std::string converted;
        std::vector<std::size_t> sourceOf;
        for (const ReportEntry& entry : inSjis.entries()) {
            if (entry.line != lineNumber) {
                while (lineNumber < entry.line && lines.next(line)) ++lineNumber;
                converted.clear();
                sourceOf.clear();
                step.convertMapped(line, converted, sourceOf);
            }
            const std::size_t from = entry.column - 1;
            const std::size_t to = std::min(from + entry.length, sourceOf.size());
            if (from >= to) continue;
            // The characters that gave the bytes from..to of the Shift-JIS.
            std::size_t next = to;
            while (next < sourceOf.size() && sourceOf[next] == sourceOf[to - 1]) ++next;
            const std::size_t end = next < sourceOf.size() ? sourceOf[next] : line.size();
            found.add(entryAt(entry.kind, entry.line, line, sourceOf[from], end, columns,
                              entry.viewColumn, entry.viewLength));
        }
    }
    addShifted(found, piece.firstLine, report);
}

}  // namespace velmor
