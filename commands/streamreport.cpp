#include "streamreport.h"

#include <algorithm>

#include "document/loadreport.h"

namespace velmor {

void StreamReport::addShifted(const ConversionReport& found) {
    for (ReportEntry entry : found.entries()) {
        entry.line += linesBefore_;
        entry.viewLine += linesBefore_;
        report_.add(std::move(entry));
    }
}

void StreamReport::addPiece(const LoadedPiece& piece, bool mayReport) {
    ConversionReport load;
    if (!piece.raw.empty()) locateLoadEntries(piece.raw, load);
    addShifted(load);
    if (mayReport) {
        ConversionReport found;
        locateConversionEntries(piece.loaded, direction_, table_, LoadColumnMap(load), found);
        addShifted(found);
    }
    // Every loaded line ends in CR LF, and no other LF is left in it.
    linesBefore_ +=
        static_cast<std::size_t>(std::count(piece.loaded.begin(), piece.loaded.end(), '\n'));
    if (piece.afterEndMarkBytes > 0) {
        report_.add({ReportKind::AfterEndMark, linesBefore_ + 1, 1, piece.afterEndMark,
                     static_cast<std::size_t>(piece.afterEndMarkBytes), linesBefore_, 0, 0});
    }
}

}  // namespace velmor
