#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "syscalls.h"
#include "textfile.h"

namespace velmor {

// What the two files of the writing half share: textfilewrite.cpp decides how a
// file is written; textfileinplace.cpp keeps and puts back the old content of a
// file written in place.

// A name for a new file of this process's, which no file had a moment ago.
std::string freshTempName();

// Reads exactly `size` bytes of `fd` at `at` into `data`; returns 0 or a code. A file
// that ends early has been changed (1006).
int readExactly(int fd, char* data, std::size_t size, off_t at);
// Writes exactly `size` bytes at `at`; returns 0 or a code.
int writeExactly(int fd, const char* data, std::size_t size, off_t at);

// A file in the temporary folder that vanishes with its descriptor: unnamed where
// the file system allows, else named and removed at once. No descriptor, with errno
// set, on failure.
sys::FileDescriptor scratchFile();

// Keeps the `size` bytes of old content of the file to be written in place, read
// through `readable`, in a synced file of the state folder with its record, before
// any of it is overwritten. Returns 0 or a code.
int keepOldContent(TextFileRec& file, int readable, std::size_t size);

// After a failure: puts the old content back and gives the file its old size and
// back the space claimed; the kept copy then goes. Where that fails, the copy stays
// with its record, and its path is returned; empty when the content is back. Done once.
std::string putBackOldContent(TextFileRec& file);

}  // namespace velmor
