#pragma once

#include <time.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "progress.h"
#include "syscalls.h"
#include "writerecord.h"

namespace velmor {

enum class TextFileMode { Closed, Reading, Writing };

// Writing in place: the file's old content, kept until the new one is complete so
// that a failure can put it back, and a start after the process died can offer it.
struct OldContent {
    std::size_t size = 0;
    sys::FileDescriptor copy;  // a named, synced copy in the state folder (WriteRecord)
    bool touched = false;      // a byte of the file may have been overwritten
    bool restored = false;     // put back after a failure; nothing more to undo
    int restoreFailure = 0;    // why putting it back failed; 0 when it did not
    std::string keptCopy;      // where it was then left, when abandoning; empty if nowhere
};

// One text file. Reading hands the caller blocks of bytes in order; writing goes to a
// new file beside the target that replaces it only once its content is safely on
// disk, or, where the file cannot be replaced without losing what the user owns,
// over the old content with a copy kept.
struct TextFileRec {
    sys::FileDescriptor handle;
    TextFileMode mode = TextFileMode::Closed;
    std::string name;
    std::unique_ptr<char[]> buffer;  // writing: bytes waiting to be written
    std::size_t capacity = 0;
    std::size_t bufPos = 0;             // writing: bytes waiting
    bool endOfFile = false;             // reading: the end was found (and the file checked then)
    bool stream = false;                // reading: a pipe or terminal, of no known size; not closed
    std::size_t expectedSize = 0;       // reading: the file's size when opened
    struct timespec expectedTime = {};  // reading: its modification time then
    std::size_t readSoFar = 0;          // reading: bytes read so far
    std::string_view memory;            // reading bytes held in memory (OpenMemory)
    bool inMemory = false;

    std::string target;          // writing: the path the content ends up at, links resolved
    sys::FileDescriptor folder;  // writing: the target's folder, where every name below is
    std::string entry;           // writing: the target's name in that folder
    std::string tempName;        // writing: the name the new file has, while it has one
    bool unnamedTemp = false;    // writing: the new file has no name until it is complete
    bool createdTarget = false;  // writing: the target did not exist before this save
    WriteRecord record;          // writing: tells a later start of a named new file or old content
    Progress* cancel = nullptr;  // writing: may stop the write until the new file replaces the old
    std::size_t written = 0;     // writing: bytes handed to the file so far
    std::size_t claimed = 0;     // writing in place: disk space claimed from the start
    std::size_t claimTried = 0;  // writing in place: how far a claim was asked for, granted or not
    std::size_t sizeLimit = 0;   // writing: the largest file the process may write
    bool replacing = false;      // writing: an existing target is replaced by the new file
    bool inPlace = false;
    int failure = 0;  // writing: the code of a failed step; nothing more is written
    OldContent old;   // writing in place
};
// The code of the last failed operation of this thread, 0 when none is pending.
// A failure replaces any earlier code; CheckIo takes it. Private to the text-file
// layer: above it, failures travel as EInOutError. Defined inline so every user
// sees its constant initialiser: an extern thread_local trips a false UBSan
// null-reference report in GCC 12.
inline thread_local int PendingIoError = 0;
// The errno behind PendingIoError's code; 0 when the layer set the code itself.
inline thread_local int PendingIoErrno = 0;
// Where the old content of a file written in place is kept, when a failed save
// could not put it back, or once the new content was in place could not drop the
// copy's record; empty otherwise. It belongs to PendingIoError's code.
inline thread_local std::string PendingIoCopy;

// Resets the record to closed with the given name. A file still open is released.
void AssignName(TextFileRec& file, std::string_view name);

// Opens the named regular file for reading. A folder fails with 5, any other kind
// of entry with 105, without ever blocking.
void OpenRead(TextFileRec& file);
// Opens the descriptor `fd` (the standard input) for reading as it is, under the
// record's name: a stream of no known size. CloseText leaves it open.
void OpenStream(TextFileRec& file, int fd);
// Opens `bytes`, held in memory by the caller while the record reads them, for
// reading as a stream under the record's name.
void OpenMemory(TextFileRec& file, std::string_view bytes);

// Opens the named file for reading as OpenRead does, except that a FIFO or a
// character device (a pipe, a terminal, /dev/null, process substitution) is opened
// too, waiting for a writer as a FIFO does, and read as a stream of no known size.
// Its descriptor goes to `stream`, which the caller keeps while reading and which
// closes it after: CloseText leaves a stream open.
void OpenReadOrStream(TextFileRec& file, sys::FileDescriptor& stream);

// Prepares writing the named file: a new file in the target's folder that CloseText
// puts in place of the target. An existing target must be a regular file with a
// write permission bit (else 5, or 105 for a FIFO, socket or device) that the kernel
// lets this process open for writing through the given path, as the shell's ">"
// opens it (so a file another user planted in a sticky folder is refused where
// fs.protected_regular says so); a link is followed only as far as the kernel
// follows it. The target is written in place, after its old content is kept in the
// state folder, where replacing it would change what it is: several names, an owner,
// group, ACL or extended attribute the new file cannot take, a folder that refuses
// new files or their renaming. Names in the target's folder are made relative to it,
// so a target whose path is close to PATH_MAX can be written. A new file that has to
// have a name while it is written is recorded in the state folder, so that a start
// after a killed process removes it. `cancel`, set on the record before, may stop
// the write until the new file replaces the old.
void OpenWrite(TextFileRec& file);

// Reads up to `size` bytes into `data`, fewer only at the end of the file, and
// returns how many; 0 at the end or on a failed read (code pending). A regular file
// that changes size or time while it is read fails with 1006, also one that keeps
// growing: it is never read past the size it had when opened, and one byte more.
std::size_t ReadBytes(TextFileRec& file, char* data, std::size_t size);

// Claims disk space for the `bytes` bytes about to be written, when the file is
// written in place: a full disk then fails before any old byte is overwritten.
// A new file needs no claim, since the old one stays until the new one is complete.
// Either way, more than the process may write (RLIMIT_FSIZE) fails with 223.
void ClaimSpace(TextFileRec& file, std::size_t bytes);

// Writes `text` as it is. Once a write has failed, nothing more is written.
void WriteText(TextFileRec& file, std::string_view text);

// Finishes the file: for writing, flushes, syncs to disk and puts the new file in
// place; for reading, fails with 1006 when the file changed since it was opened.
// The record is closed afterwards, also when a step failed. A stop signal or a
// cancel that came before the new content replaces the old gives the write up
// (EAbort), the old file staying as it was; one that comes after is refused.
void CloseText(TextFileRec& file);

// Raises EInOutError for a pending code and clears it; nothing when none is pending.
// The error names `file`, and the kept copy of the old content when there is one.
void CheckIo(const TextFileRec& file);
// Raises the EInOutError for `code` on `file`, naming `copy` (the kept old content)
// when given.
[[noreturn]] void throwIoFailure(int code, const TextFileRec& file, const std::string& copy);

// Releases an open record after a failure without reporting anything: closes the
// handle and removes the unfinished new file, or puts back the old content of a
// file written in place, so the target stays as it was.
void AbandonText(TextFileRec& file);

// Abandons the record at the end of a scope left by an exception.
class TextFileGuard {
  public:
    explicit TextFileGuard(TextFileRec& file) : file_(file) {}
    ~TextFileGuard() {
        if (file_.mode != TextFileMode::Closed) AbandonText(file_);
    }
    TextFileGuard(const TextFileGuard&) = delete;
    TextFileGuard& operator=(const TextFileGuard&) = delete;

  private:
    TextFileRec& file_;
};

}  // namespace velmor
