#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "progress.h"
#include "syscalls.h"

namespace velmor {

// The old content of a file whose write in place was interrupted (its process was
// killed, or the machine went down), found by a later start in the state folder.
// Held for this process while the object lives, so that no other start offers it
// at the same time; dropped without restoreKeptFile or dropKeptFile, it stays for
// the next start.
struct KeptFile {
    std::string target;  // the file that was being written
    std::string copy;    // where its old content is kept
    std::uint64_t size = 0;

    sys::FileDescriptor folder;  // the state folder
    sys::FileDescriptor record;  // the record, locked
    std::string id;              // the record's and the copy's name without suffix
};

// Cleans up after the writes of processes that are gone: removes their named new
// files and their records, and returns the old contents they kept, for the user to
// put back or drop. Reports nothing: what cannot be cleaned up is tried again at the
// next start.
std::vector<KeptFile> findKeptFiles();

// Puts the kept old content back into its file, written as any save writes it, then
// removes the copy and its record. Throws EInOutError; the copy then stays.
// `progress` is told the bytes written and may cancel as a save's may (EAbort).
void restoreKeptFile(KeptFile& kept, Progress* progress = nullptr);

// Removes the kept copy and its record.
void dropKeptFile(KeptFile& kept);

}  // namespace velmor
