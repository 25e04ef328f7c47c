#include "keptfiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <set>
#include <string_view>

#include "errors.h"
#include "filepaths.h"
#include "ioerror.h"
#include "textfile.h"
#include "textfilewriting.h"
#include "writerecord.h"

namespace velmor {

namespace {

constexpr std::size_t kRecordLimit = 1 << 20;

bool endsWith(const std::string& name, std::string_view suffix) {
    return name.size() > suffix.size() && name.ends_with(suffix);
}

std::string withSuffix(const std::string& id, std::string_view suffix) {
    return id + std::string(suffix);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The record's text; empty when it cannot be read.
std::string readRecord(int fd) {
    std::string text;
    char block[4096];
    for (;;) {
        const ssize_t n =
            sys::calls().pread(fd, block, sizeof block, static_cast<off_t>(text.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || text.size() + static_cast<std::size_t>(n) > kRecordLimit) {
            return n == 0 ? text : std::string();
        }
        text.append(block, static_cast<std::size_t>(n));
    }
}

// Opens the folder `path` as a place to name entries in; a path longer than the
// system takes at once is followed one folder at a time.
sys::FileDescriptor openFolderPath(const std::string& path) {
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    sys::FileDescriptor folder(sys::calls().open(path.c_str(), kFlags));
    if (folder || errno != ENAMETOOLONG || !path.starts_with('/')) return folder;
    folder = sys::FileDescriptor(sys::calls().open("/", kFlags));
    for (std::size_t at = 1; folder && at < path.size();) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) {
            const std::string part = path.substr(at, end - at);
            folder = sys::FileDescriptor(
                sys::calls().openAt(folder.get(), part.c_str(), kFlags | O_NOFOLLOW, 0));
        }
        at = end + 1;
    }
    return folder;
}

// Removes the named new file that a process now gone left at `path`, where it is
// still there as it made it: a regular file of this user's, with a name of the
// program's new files.
void removeNewFile(const std::string& path) {
    const std::string name = entryName(path);
    if (!name.starts_with(".velmor-")) return;
    sys::FileDescriptor folder = openFolderPath(folderOf(path));
    if (!folder) return;
    struct stat st;
    if (sys::calls().fstatAt(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return;
    sys::calls().unlinkAt(folder.get(), name.c_str());
}

[[noreturn]] void throwFailure(int err, const std::string& path) {
    const int code = ioErrorCode(err);
    throw EInOutError(code, ioErrorMessage(code), path, err);
}

}  // namespace

std::vector<KeptFile> findKeptFiles() {
    std::vector<KeptFile> found;
    for (const std::string& path : stateFolders()) {
        sys::FileDescriptor folder = openStateFolder(path, false);
        std::vector<std::string> names;
        if (!folder || sys::calls().listFolder(folder.get(), &names) != 0) continue;
        const int dir = folder.get();
        std::set<std::string> held;  // records of running processes, and those found here
        for (const std::string& name : names) {
            const bool part = endsWith(name, kPartSuffix);
            if (!part && !endsWith(name, kRecordSuffix)) continue;
            const std::string id =
                name.substr(0, name.size() - (part ? kPartSuffix : kRecordSuffix).size());
            sys::FileDescriptor record(
                sys::calls().openAt(dir, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0));
            if (!record) continue;
            if (sys::calls().flock(record.get(), LOCK_EX | LOCK_NB) != 0) {
                held.insert(id);  // its process runs
                continue;
            }
            // Another start may have dealt with it between the listing and the lock.
            struct stat mine, named;
            if (sys::calls().fstat(record.get(), &mine) != 0 ||
                sys::calls().fstatAt(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                !sameFile(mine, named)) {
                continue;
            }
            RecordText text;
            if (part || !parseRecord(readRecord(record.get()), text)) {
                // Never completed: nothing was written under it.
                sys::calls().unlinkAt(dir, withSuffix(id, kKeptSuffix).c_str());
                sys::calls().unlinkAt(dir, name.c_str());
                continue;
            }
            if (text.kind == WriteRecord::Kind::Temp) {
                removeNewFile(text.kept);
                sys::calls().unlinkAt(dir, name.c_str());
                continue;
            }
            struct stat copy;
            if (sys::calls().fstatAt(dir, withSuffix(id, kKeptSuffix).c_str(), &copy,
                                     AT_SYMLINK_NOFOLLOW) != 0) {
                sys::calls().unlinkAt(dir, name.c_str());  // the user removed the copy
                continue;
            }
            sys::FileDescriptor own = openStateFolder(path, false);
            if (!own) continue;
            held.insert(id);
            found.push_back({text.target, path + "/" + withSuffix(id, kKeptSuffix), text.size,
                             std::move(own), std::move(record), id});
        }
        // A kept copy without a record is left over from a write that ended, or that
        // never began writing over its file.
        for (const std::string& name : names) {
            if (!endsWith(name, kKeptSuffix)) continue;
            const std::string id = name.substr(0, name.size() - kKeptSuffix.size());
            struct stat st;
            if (held.count(id) != 0 ||
                sys::calls().fstatAt(dir, withSuffix(id, kRecordSuffix).c_str(), &st,
                                     AT_SYMLINK_NOFOLLOW) == 0 ||
                sys::calls().fstatAt(dir, withSuffix(id, kPartSuffix).c_str(), &st,
                                     AT_SYMLINK_NOFOLLOW) == 0) {
                continue;
            }
            sys::calls().unlinkAt(dir, name.c_str());
        }
    }
    return found;
}

void restoreKeptFile(KeptFile& kept, Progress* progress) {
    sys::FileDescriptor copy(sys::calls().openAt(kept.folder.get(),
                                                 withSuffix(kept.id, kKeptSuffix).c_str(),
                                                 O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!copy) throwFailure(errno, kept.copy);
    struct stat st;
    if (sys::calls().fstat(copy.get(), &st) != 0) throwFailure(errno, kept.copy);
    if (static_cast<std::uint64_t>(st.st_size) != kept.size) {
        throw EInOutError(kIoFileChanged, ioErrorMessage(kIoFileChanged), kept.copy);
    }
    TextFileRec out;
    AssignName(out, kept.target);
    out.cancel = progress;
    OpenWrite(out);
    CheckIo(out);
    TextFileGuard guard(out);
    const std::size_t size = static_cast<std::size_t>(kept.size);
    ClaimSpace(out, size);
    CheckIo(out);
    constexpr std::size_t kBlock = 1 << 20;
    auto block = std::make_unique_for_overwrite<char[]>(kBlock);
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min(kBlock, size - at);
        if (int code = readExactly(copy.get(), block.get(), n, static_cast<off_t>(at))) {
            throw EInOutError(code, ioErrorMessage(code), kept.copy);
        }
        WriteText(out, std::string_view(block.get(), n));
        CheckIo(out);
        tell(progress, n);
        at += n;
    }
    CloseText(out);
    CheckIo(out);
    dropKeptFile(kept);
}

void dropKeptFile(KeptFile& kept) {
    const int dir = kept.folder.get();
    if (sys::calls().unlinkAt(dir, withSuffix(kept.id, kRecordSuffix).c_str()) != 0) {
        throwFailure(errno, folderOf(kept.copy) + "/" + withSuffix(kept.id, kRecordSuffix));
    }
    // Without its record, a copy that stays goes at the next start.
    if (sys::calls().unlinkAt(dir, withSuffix(kept.id, kKeptSuffix).c_str()) != 0 &&
        errno != ENOENT) {
        throwFailure(errno, kept.copy);
    }
    kept.record.reset();
    kept.folder.reset();
}

}  // namespace velmor
