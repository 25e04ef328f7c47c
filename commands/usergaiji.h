#pragma once

#include <string>

#include "convert/gaijitable.h"
#include "workspace.h"

namespace velmor {

// The user's gaiji table: where it is, and putting it in use.

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

}  // namespace velmor
