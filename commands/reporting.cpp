#include "reporting.h"

#include <utility>

namespace velmor {

void useGaijiTable(Workspace& ws, GaijiTable table) {
    ws.gaiji = std::move(table);
    if (ws.gaiji.empty()) {
        ws.gaijiTables.reset();
        ws.scan.tables = PairTables{};
    } else {
        ws.gaijiTables = std::make_shared<const GaijiPairTables>(ws.gaiji);
        ws.scan.tables = ws.gaijiTables->tables();
    }
}

ConversionReport findConversionEntries(const Workspace& ws, Direction direction) {
    ConversionReport found;
    if (ws.scan.mayReport != 1) return found;
    // Once converted, the text's columns are no longer the file's.
    const LoadColumnMap columns(ws.report.conversions() == 0 ? ws.report : ConversionReport{});
    locateConversionEntries(ws.document.WholeText(), direction,
                            ws.gaiji.empty() ? nullptr : &ws.gaiji, columns, found);
    return found;
}

}  // namespace velmor
