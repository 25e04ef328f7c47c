#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "document.h"
#include "partcut.h"

namespace velmor {

// Loads the whole lines at the start of `bytes` into `doc`, which is empty or ends
// with CR LF, as loadWholeLines gives them: the bytes are cut by `cut` at line starts
// into parts loaded at once, the first on this thread straight into the Document, the
// others on threads of their own, and joined in order. Calls `check` on this thread
// with the loaded bytes so far, now and then; what it throws ends the load, with the
// lines added before kept. Returns the number of bytes used.
std::size_t loadLinesInParts(Document& doc, std::string_view bytes, bool& droppedCr,
                             const PartCut& cut,
                             const std::function<void(std::size_t loaded)>& check);

}  // namespace velmor
