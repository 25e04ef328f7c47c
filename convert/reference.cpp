// Byte-by-byte converters that follow the conversion rules literally, one piece at a
// time. They are slow on purpose: the fast converters are checked against them.
#include "converters.h"

#include "kanjicode.h"

namespace velmor {

namespace {

std::uint8_t byteAt(std::string_view line, std::size_t pos) {
    return static_cast<std::uint8_t>(line[pos]);
}

void appendPair(std::string& out, const KanjiPair& pair) {
    out.push_back(static_cast<char>(pair.first));
    out.push_back(static_cast<char>(pair.second));
}

}  // namespace

void convertVelmorToSjisReference(const Document& doc, ScanState& scan, std::int32_t& toSjisDone,
                                  std::string& out) {
    KanjiPair& pair = scan.kanjiPair;
    const std::size_t count = doc.LineCount();
    for (std::size_t n = 0; n < count; ++n) {
        std::string_view line = doc.LineAt(n);
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

void convertSjisToVelmorReference(const Document& doc, ScanState& scan, std::int32_t& toVelmorDone,
                                  std::string& out) {
    KanjiPair& pair = scan.kanjiPair;
    const std::size_t count = doc.LineCount();
    for (std::size_t n = 0; n < count; ++n) {
        std::string_view line = doc.LineAt(n);
        scan.KanjiMode = 0;
        std::size_t pos = 0;
        while (pos < line.size()) {
            int range = rangeOf(pieceAt(line, pos));
            if (range != 0) {
                toVelmorDone = 1;
                if (scan.KanjiMode == 0) {
                    scan.KanjiMode = 1;
                    appendPair(out, {kKanjiInWritten[0], kKanjiInWritten[1]});
                }
                // A user-defined character's bytes are not read.
                if (range != kUserDefinedRange) {
                    pair.first = byteAt(line, pos);
                    if (pos + 1 < line.size()) pair.second = byteAt(line, pos + 1);
                }
                sjisPairToVelmor(pair, range == kUserDefinedRange);
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

bool containsKanjiInReference(const Document& doc) {
    const std::size_t count = doc.LineCount();
    for (std::size_t n = 0; n < count; ++n) {
        std::string_view line = doc.LineAt(n);
        for (std::size_t pos = 0; pos < line.size(); ++pos) {
            if (isKanjiIn(pieceAt(line, pos))) return true;
        }
    }
    return false;
}

}  // namespace velmor
