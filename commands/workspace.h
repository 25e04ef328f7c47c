#pragma once

#include <memory>

#include "convert/gaijitable.h"
#include "convert/scanstate.h"
#include "document/document.h"
#include "document/report.h"
#include "documentstate.h"

namespace velmor {

// Everything the commands share for the life of the process: the Document, its
// state variables and the converters' scan state. The program owns exactly one
// (the main window holds it); every command is handed that one.
struct Workspace {
    Document document;
    DocumentState state;
    ScanState scan;
    // What the load and the conversions since the last Open could not carry over;
    // Open and Close empty it.
    ConversionReport report;
    // The user's gaiji table (empty: none) and the pair tables made from it, which
    // scan.tables points into.
    GaijiTable gaiji;
    std::shared_ptr<const GaijiPairTables> gaijiTables;
};

}  // namespace velmor
