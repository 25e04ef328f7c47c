#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace velmor {

// How loading turns file bytes into Document text, for the window's Open and the
// streamed conversion alike.

// Appends `size` bytes at `piece` to `line` without their CR bytes: loading drops
// every CR.
void appendWithoutCr(std::string& line, const char* piece, std::size_t size);

// Loads the whole lines (each ended by LF) at the start of `bytes` as ReadTextLine and
// AppendLine would give them to the Document: CRs dropped, a space and CR LF
// appended. Sets `droppedCr` when a CR other than a line end's is dropped. Stops
// before a line that begins with Ctrl-Z, where the file ends, and before a last line
// without LF, which may go on past these bytes. Hands the loaded text to `take` a
// buffer at a time, with the offset just past each line's CR LF in that buffer (the
// only CR LFs in it: every other CR was dropped); returns the number of bytes used.
using LoadedTake =
    std::function<void(std::string_view text, std::span<const std::uint32_t> lineEnds)>;
std::size_t loadWholeLines(std::string_view bytes, bool& droppedCr, const LoadedTake& take);

}  // namespace velmor
