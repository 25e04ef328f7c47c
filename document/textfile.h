#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace velmor {

enum class TextFileMode { Closed, Reading, Writing };

// One buffered text file. Reading takes the whole file into the buffer in as few
// reads as possible; writing goes to a new file beside the target that replaces it
// only once its content is safely on disk.
struct TextFileRec {
    int handle = -1;
    TextFileMode mode = TextFileMode::Closed;
    std::string name;
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t bufPos = 0;  // reading: next unread byte; writing: bytes waiting
    std::size_t bufEnd = 0;  // reading: valid bytes in the buffer
    bool endOfFile = false;
    std::size_t expectedSize = 0;  // reading: the file's size when opened

    std::string target;       // writing: the path the content ends up at, links resolved
    std::string tempName;     // writing: the new file, empty when writing in place
    std::size_t written = 0;  // writing: bytes handed to the file so far
    std::size_t claimed = 0;  // writing in place: disk space claimed from the start
};

// The code of the last failed operation of this thread, 0 when none is pending.
// A failure replaces any earlier code; CheckIo takes it. Defined inline so every
// user sees its constant initialiser: an extern thread_local trips a false UBSan
// null-reference report in GCC 12.
inline thread_local int PendingIoError = 0;

// Resets the record to closed with the given name. A file still open is released.
void AssignName(TextFileRec& file, std::string_view name);

// Opens the named regular file for reading. A folder fails with 5, any other kind
// of entry with 105, without ever blocking.
void OpenRead(TextFileRec& file);

// Prepares writing the named file: a new file in the target's folder that CloseText
// puts in place of the target. A link is followed to the file it names. An existing
// target must be a regular file with a write permission bit (else 5, or 105 for a
// FIFO, socket or device). Where the folder refuses a new file, the target itself is
// written in place.
void OpenWrite(TextFileRec& file);

// True at the end of the file, or where the next line would begin with Ctrl-Z.
bool AtEnd(TextFileRec& file);

// Reads the next line into `line`, without its LF or CR LF end; every CR is dropped.
void ReadTextLine(TextFileRec& file, std::string& line);

// Claims disk space for the `bytes` bytes about to be written, when the file is
// written in place: a full disk then fails before any old byte is overwritten.
// A new file needs no claim, since the old one stays until the new one is complete.
void ClaimSpace(TextFileRec& file, std::size_t bytes);

// Writes `text` as it is. Once a write has failed, nothing more is written.
void WriteText(TextFileRec& file, std::string_view text);

// Writes `text` followed by CR LF.
void WriteTextLine(TextFileRec& file, std::string_view text);

// Finishes the file: for writing, flushes, syncs to disk and puts the new file in
// place. The record is closed afterwards, also when a step failed.
void CloseText(TextFileRec& file);

// Raises EInOutError for a pending code and clears it; nothing when none is pending.
void CheckIo();

// Releases an open record after a failure without reporting anything: closes the
// handle and removes the unfinished new file, so the target stays as it was.
void AbandonText(TextFileRec& file);

// The bytes read but not yet consumed: after the first AtEnd, the whole file.
std::string_view BufferedText(const TextFileRec& file);

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
