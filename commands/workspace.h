#pragma once

#include "convert/scanstate.h"
#include "document/document.h"
#include "documentstate.h"

namespace velmor {

// Everything the commands share for the life of the process: the Document, its
// state variables and the converters' scan state. The program owns exactly one
// (the main window holds it); every command is handed that one.
struct Workspace {
    Document document;
    DocumentState state;
    ScanState scan;
};

}  // namespace velmor
