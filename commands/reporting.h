#pragma once

#include <string>

#include "convert/reportlocator.h"
#include "workspace.h"

namespace velmor {

// Makes `table` the gaiji table of every later conversion in `ws`; an empty table
// puts the built-in pair tables back.
void useGaijiTable(Workspace& ws, GaijiTable table);

// Where the window looks for the user's gaiji table:
// $XDG_CONFIG_HOME/velmor-kanji/gaiji.tsv, by default ~/.config/velmor-kanji/gaiji.tsv.
// Empty when neither XDG_CONFIG_HOME nor HOME is set.
std::string userGaijiTablePath();

// Reads the user's gaiji table into `ws` when the file exists. A file error or a
// bad table throws (EInOutError, EGaijiTableError) and leaves `ws` without a table.
void loadUserGaijiTable(Workspace& ws);

// The entries of a conversion in `direction` that has just been computed from the
// Document's text, which it has not replaced yet. Searches the text only when the
// conversion's scan saw a sign of them (ws.scan.mayReport); positions are those of
// the file while the text is still as loaded.
ConversionReport findConversionEntries(const Workspace& ws, Direction direction);

}  // namespace velmor
