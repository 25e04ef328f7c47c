#pragma once

#include "textfile.h"

namespace velmor {

// CloseText for a record open for writing: flushes, syncs and puts the new file in
// place; on any failure removes it, leaving the target as it was. Always closes.
void finishWrite(TextFileRec& file);

}  // namespace velmor
