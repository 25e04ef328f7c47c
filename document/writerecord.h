#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "syscalls.h"

namespace velmor {

// The program's state folders, in the order they are tried: $XDG_STATE_HOME/velmor-kanji
// (~/.local/state/velmor-kanji where XDG_STATE_HOME is not set), then, for when that
// cannot be made, $TMPDIR/velmor-kanji-UID.
std::vector<std::string> stateFolders();

// Opens the state folder `path`, which must be a folder of this user's that nobody
// else may enter; `create` makes it, and the folders above it, where missing. No
// descriptor, with errno set, on failure.
sys::FileDescriptor openStateFolder(const std::string& path, bool create);

// What a write under way leaves in the state folder for a start after its process
// died (killed, or the machine went down): a named temporary file to remove, or the
// old content of a file written in place, to offer back. The record is a file
// <id>.rec (<id>.rec.part until it is complete) that its process holds locked for as
// long as it runs; a record whose lock is free belongs to a process that is gone.
// The old content is kept beside it, in <id>.old.
class WriteRecord {
  public:
    enum class Kind { Temp, Old };

    WriteRecord() = default;
    // Leaves a complete record and its kept file for the next start; an incomplete
    // one is removed.
    ~WriteRecord() { release(); }
    WriteRecord(WriteRecord&&) noexcept = default;
    WriteRecord& operator=(WriteRecord&& other) noexcept;

    // Makes the record, locked, in the first state folder that can be used; nothing
    // when it is made already. 0 or errno.
    int open();
    // Makes the file that keeps the old content. No descriptor, with errno set, on
    // failure.
    sys::FileDescriptor makeKeptFile();
    // Writes what the record says and gives it its final name; may be called again to
    // change it. `synced`: on disk, with the folder's names, before it returns. 0 or errno.
    int write(Kind kind, const std::string& target, const std::string& kept, std::uint64_t size,
              bool synced);
    // The write ended normally or was undone: the record and the kept file go. 0, or
    // the errno of the failed removal of the record (the kept file then stays too).
    int remove();
    // Leaves the record and the kept file for the next start, which then offers the
    // old content back; an incomplete record is removed.
    void release();

    bool isOpen() const { return static_cast<bool>(lock_); }
    // Where the old content is kept.
    std::string keptPath() const;

  private:
    int openIn(sys::FileDescriptor folder, const std::string& path);
    std::string recordName() const;

    sys::FileDescriptor folder_;
    sys::FileDescriptor lock_;
    std::string folderPath_;
    std::string id_;
    bool named_ = false;     // complete, under its final name
    bool keptMade_ = false;  // <id>.old was made
    bool written_ = false;   // holds a text
};

// What a record says, as read back.
struct RecordText {
    WriteRecord::Kind kind = WriteRecord::Kind::Temp;
    std::string target;  // the file written
    std::string kept;    // the temporary file, or the file keeping the old content
    std::uint64_t size = 0;
};
bool parseRecord(std::string_view text, RecordText& record);

// The names in a state folder.
inline constexpr std::string_view kRecordSuffix = ".rec";
inline constexpr std::string_view kPartSuffix = ".rec.part";
inline constexpr std::string_view kKeptSuffix = ".old";

// Sets `absolute` to the absolute path of the open folder `dir`, or where the system
// has no /proc to tell it, to `path` (the path it was opened by). 0 or errno.
int folderPathOf(int dir, const std::string& path, std::string& absolute);

// The name the last part of `path` gives an entry in its folder.
std::string entryName(const std::string& path);

}  // namespace velmor
