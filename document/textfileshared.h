#pragma once

#include <cerrno>
#include <cstddef>

#include "ioerror.h"
#include "textfile.h"

namespace velmor {

// What the reading half (textfile.cpp), the writing half (textfilewrite.cpp) and the
// record's life cycle (textfilerecord.cpp) of the text-file layer share. The two
// halves never call each other; only the life cycle calls into both.

// Linux moves at most this much in one read or write call.
inline constexpr std::size_t kMaxTransfer = 0x7ffff000;

// Leaves `code` for the next CheckIo, replacing any earlier one, with the errno of the
// call that just failed where that is what the code stands for.
inline void fail(int code) {
    PendingIoErrno = errnoBehind(code, errno);
    PendingIoError = code;
    PendingIoCopy.clear();
}

inline void releaseBuffer(TextFileRec& file) {
    file.buffer.reset();
    file.capacity = 0;
    file.bufPos = 0;
}

// CloseText for a record open for reading.
void finishRead(TextFileRec& file);

// CloseText for a record open for writing: flushes, syncs and puts the new file in
// place; on any failure leaves the target as it was. Always closes.
void finishWrite(TextFileRec& file);

// AbandonText for a record open for writing: removes the new file, or puts back the
// old content of a file written in place, without reporting anything.
void abandonWrite(TextFileRec& file);

}  // namespace velmor
