#pragma once

#include "convert/reportlocator.h"
#include "workspace.h"

namespace velmor {

// Makes `table` the gaiji table of every later conversion in `ws`; an empty table
// puts the built-in pair tables back.
void useGaijiTable(Workspace& ws, GaijiTable table);

// The entries of a conversion in `direction` that has just been computed from the
// Document's text, which it has not replaced yet. Searches the text only when the
// conversion's scan saw a sign of them (ws.scan.mayReport); positions are those of
// the file while the text is still as loaded.
ConversionReport findConversionEntries(const Workspace& ws, Direction direction);

}  // namespace velmor
