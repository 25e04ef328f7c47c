#pragma once

#include <cstddef>
#include <cstdint>

#include "direction.h"
#include "document/document.h"
#include "document/loadreport.h"
#include "document/progress.h"
#include "document/report.h"
#include "document/threads.h"
#include "gaijitable.h"
#include "scanstate.h"

namespace velmor {

// Where a conversion of the Document looks for report entries: in the lines where the
// fast converter saw a sign of them, with the load's columns and the gaiji table.
struct ReportSearch {
    const GaijiTable* table = nullptr;
    const LoadColumnMap* columns = nullptr;
    ConversionReport* found = nullptr;  // null: no search
};

// How a Document is converted.
struct DocumentConversionPlan {
    PartCut cut = PartCut::forThisMachine();  // runs of pieces converted at once
    std::size_t sliceBytes =
        256 << 10;        // text converted in one call, so its output stays in the cache
    bool inPlace = true;  // old pieces may be given to new ones (TextRewrite)
};

// Converts the Document's whole text in `direction` piece by piece and replaces the
// text with the result: the same text, modified mark, scan state and report entries
// as converting WholeText() (convertVelmorToSjis, convertSjisToVelmor), searching it
// with locateConversionEntries and handing the result to ReplaceText.
//
// The pieces are cut into runs converted at once, one per core. Each new piece is
// written into the memory of pieces converted before it: the old text and the new
// one are never held whole at once, there is no joining of parts, and only the
// growth of the text takes fresh memory. Once the first old piece is given up the
// conversion can no longer be stopped: `progress` is then committed (Progress::commit),
// and a cancel before that leaves everything as it was (EAbort). Where a line is very
// long or the storage has a limit, the old text is kept until the end instead.
//
// Sets `done` to 1, before the text is replaced, when the conversion met its mark (a
// kanji-in; a character converted).
void convertDocument(Document& doc, Direction direction, ScanState& scan, std::int32_t& done,
                     Progress* progress, const ReportSearch& report,
                     const DocumentConversionPlan& plan = {});

// True when a kanji-in sequence stands anywhere inside a line of the Document.
bool containsKanjiIn(const Document& doc);

}  // namespace velmor
