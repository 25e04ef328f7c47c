#pragma once

#include <cstddef>

#include "textfile.h"

namespace velmor {

// Shared by the reading and the writing half of the text-file layer.

// Linux moves at most this much in one read or write call.
inline constexpr std::size_t kMaxTransfer = 0x7ffff000;

// Leaves `code` for the next CheckIo, replacing any earlier one.
inline void fail(int code) {
    PendingIoError = code;
}

// CloseText for a record open for writing: flushes, syncs and puts the new file in
// place; on any failure removes it, leaving the target as it was. Always closes.
void finishWrite(TextFileRec& file);

}  // namespace velmor
