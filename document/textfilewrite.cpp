#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>

#include "errors.h"
#include "filepaths.h"
#include "ioerror.h"
#include "stopsignals.h"
#include "syscalls.h"
#include "textfileshared.h"
#include "textfilewriting.h"

namespace velmor {

namespace {

constexpr std::size_t kWriteBlock = 64 * 1024;
constexpr int kTempAttempts = 100;
constexpr int kOpenExisting = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// A write past RLIMIT_FSIZE would kill the process with SIGXFSZ; ignored, it fails
// with EFBIG like any other write. A handler someone installed is left alone.
void ignoreFileSizeSignal() {
    static const bool ignored = [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) != 0) return false;
        return current.sa_handler == SIG_DFL && ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
    }();
    (void)ignored;
}

std::size_t fileSizeLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::numeric_limits<std::size_t>::max();
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool folderRefuses(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

// Records a failed step. Writing in place, the old content goes back at once, so
// that the error can tell where it is kept when that fails too.
bool writeFailed(TextFileRec& file, int code) {
    file.failure = code;
    fail(code);
    if (file.inPlace) PendingIoCopy = putBackOldContent(file);
    return false;
}

// Opens the folder of `file.target`, in which every name of the write is made.
int openFolder(TextFileRec& file) {
    file.folder = sys::FileDescriptor(
        sys::calls().open(folderOf(file.target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    file.entry = entryName(file.target);
    return file.folder ? 0 : errno;
}

// Tells the state folder that the new file has the name `name` in the target's folder,
// so that a start after this process died removes it; the record is on disk before the
// file is made.
int recordTempName(TextFileRec& file, const std::string& name) {
    if (int err = file.record.open()) return err;
    std::string folder;
    if (int err = folderPathOf(file.folder.get(), folderOf(file.target), folder)) return err;
    return file.record.write(WriteRecord::Kind::Temp, folder + "/" + file.entry,
                             folder + "/" + name, 0, true);
}

// The new file in the target's folder: unnamed where the file system allows, so that
// a process killed while writing leaves nothing; else under a fresh name, recorded
// (and the record on disk) before it is made. Returns 0 or errno.
int createNewFile(TextFileRec& file, mode_t mode) {
    const int folder = file.folder.get();
    file.handle = sys::FileDescriptor(sys::calls().tmpFile(folder, O_WRONLY | O_CLOEXEC, mode));
    if (file.handle) {
        file.unnamedTemp = true;
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        const std::string name = freshTempName();
        if (int err = recordTempName(file, name)) return err;
        file.handle = sys::FileDescriptor(sys::calls().openAt(
            folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (file.handle) {
            file.tempName = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

void dropNewFile(TextFileRec& file) {
    file.handle.reset();
    if (!file.tempName.empty()) sys::calls().unlinkAt(file.folder.get(), file.tempName.c_str());
    file.tempName.clear();
    file.unnamedTemp = false;
    file.record.remove();
}

// Gives the new file everything of the old one's that decides who may do what
// with it. False where any of it cannot be given.
bool takeOver(int fresh, int existing, const struct stat& old) {
    // Before fchmod, since fchown clears set-user-ID bits.
    return sys::calls().fchown(fresh, old.st_uid, old.st_gid) == 0 &&
           sys::calls().fchmod(fresh, old.st_mode & 07777) == 0 &&
           sys::calls().copyAcl(existing, fresh) == 0 &&
           sys::calls().copyXattrs(existing, fresh) == 0;
}

// True where the folder forbids renaming over or removing its entries, or where
// that cannot be told.
bool folderForbidsReplacing(const std::string& folder) {
    int flags = 0;
    if (sys::calls().folderFlags(folder.c_str(), &flags) != 0) {
        return errno != ENOTTY && errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL;
    }
    return (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}

// Writes over `existing` itself, once its old content is kept.
int prepareInPlace(TextFileRec& file, sys::FileDescriptor existing, const struct stat& old) {
    file.inPlace = true;
    file.handle = std::move(existing);
    sys::FileDescriptor readable(
        sys::calls().openAt(file.folder.get(), file.entry.c_str(),
                            O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!readable) return pathErrorCode(errno, file.name);
    struct stat st;
    if (sys::calls().fstat(readable.get(), &st) != 0) return ioErrorCode(errno);
    if (!sameFile(st, old)) return kIoAccessDenied;
    return keepOldContent(file, readable.get(), static_cast<std::size_t>(old.st_size));
}

// Replaces the existing target, opened for writing as `existing`, with a new file,
// or writes over it where replacing would change who may do what with it.
// `created` tells that this save made the (empty) target.
int prepareOverExisting(TextFileRec& file, sys::FileDescriptor existing, bool created) {
    struct stat old;
    if (sys::calls().fstat(existing.get(), &old) != 0) return ioErrorCode(errno);
    if (!S_ISREG(old.st_mode)) return kIoNotRegularFile;
    // The entry to replace is the one the kernel opened: the links are followed by
    // hand only to find its name, and what they lead to must be that file.
    if (int err = resolveLinks(file.name, file.target); err != 0) {
        return pathErrorCode(err, file.name);
    }
    if (openFolder(file) != 0) return pathErrorCode(errno, file.name);
    struct stat entry;
    if (sys::calls().fstatAt(file.folder.get(), file.entry.c_str(), &entry, AT_SYMLINK_NOFOLLOW) !=
        0) {
        return ioErrorCode(errno);
    }
    if (!sameFile(entry, old)) return kIoAccessDenied;
    file.createdTarget = created;

    const std::string folder = folderOf(file.target);
    // Other names of the file must see the new content too.
    if (old.st_nlink > 1 || folderForbidsReplacing(folder)) {
        return prepareInPlace(file, std::move(existing), old);
    }
    if (int err = createNewFile(file, 0600); err != 0) {
        if (folderRefuses(err)) return prepareInPlace(file, std::move(existing), old);
        return err == ENOENT ? kIoPathNotFound : ioErrorCode(err);
    }
    if (!takeOver(file.handle.get(), existing.get(), old)) {
        dropNewFile(file);
        return prepareInPlace(file, std::move(existing), old);
    }
    file.replacing = true;
    return 0;
}

// Everything OpenWrite does but the final state; returns 0 or a code.
int prepareWrite(TextFileRec& file) {
    const char* path = file.name.c_str();
    struct stat seen;
    // Looking before opening keeps a device or FIFO from being opened at all.
    const bool exists = sys::calls().stat(path, &seen) == 0;
    if (exists) {
        if (S_ISDIR(seen.st_mode)) return kIoAccessDenied;
        if (!S_ISREG(seen.st_mode)) return kIoNotRegularFile;
        // Root could write it anyway; a file nobody may write is meant to stay.
        if ((seen.st_mode & 0222) == 0) return kIoAccessDenied;
    } else if (errno != ENOENT) {
        return pathErrorCode(errno, file.name);
    }
    // The kernel decides whether this process may write what the path leads to,
    // following a link only where it would let the process follow it. An existing file
    // is opened as the shell's ">" opens it, with O_CREAT: in a sticky folder the kernel
    // then refuses a file of another user's (fs.protected_regular), which could have
    // been planted there to catch what is written.
    sys::FileDescriptor existing(exists ? sys::calls().createTemp(path, kOpenExisting, 0666)
                                        : sys::calls().open(path, kOpenExisting));
    if (existing) return prepareOverExisting(file, std::move(existing), false);
    if (errno != ENOENT) return pathErrorCode(errno, file.name);

    struct stat link;
    const bool isLink = sys::calls().lstat(path, &link) == 0 && S_ISLNK(link.st_mode);
    if (!isLink && errno != ENOENT) return pathErrorCode(errno, file.name);
    if (isLink) {
        // A link to a missing file: creating the file through it leaves that decision
        // to the kernel too. The empty file made here goes again if the save fails.
        existing = sys::FileDescriptor(sys::calls().createTemp(path, kOpenExisting, 0666));
        if (!existing) return pathErrorCode(errno, file.name);
        return prepareOverExisting(file, std::move(existing), true);
    }
    file.target = file.name;
    if (openFolder(file) != 0) return pathErrorCode(errno, file.name);
    int err = createNewFile(file, 0666);
    if (err != 0) return err == ENOENT ? kIoPathNotFound : ioErrorCode(err);
    return 0;
}

bool writeAll(TextFileRec& file, const char* data, std::size_t size) {
    if (size > 0 && file.inPlace) file.old.touched = true;
    while (size > 0) {
        ssize_t n = sys::calls().write(file.handle.get(), data, std::min(size, kMaxTransfer));
        if (n < 0 && errno == EINTR) continue;
        // A write that moves nothing would loop for ever; it is as good as a full disk.
        if (n <= 0) return writeFailed(file, n < 0 ? ioErrorCode(errno) : kIoDiskFull);
        data += n;
        size -= static_cast<std::size_t>(n);
        file.written += static_cast<std::size_t>(n);
    }
    return true;
}

bool flush(TextFileRec& file) {
    std::size_t waiting = file.bufPos;
    file.bufPos = 0;
    return writeAll(file, file.buffer.get(), waiting);
}

// Writing in place overwrites the old content, so the disk space for the new one is
// claimed first: a full disk then fails before any old byte is lost. A claim that
// fails may have got part of the space, which a failure then gives back.
bool claimSpace(TextFileRec& file, std::size_t bytes) {
    const std::size_t from = file.written + file.bufPos;
    if (from + bytes <= file.claimed) return true;
    file.claimTried = std::max(file.claimTried, from + bytes);
    if (sys::calls().fallocate(file.handle.get(), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                               static_cast<off_t>(bytes)) == 0) {
        file.claimed = from + bytes;
        return true;
    }
    // File systems that cannot claim space ahead are written without the claim.
    if (errno == EOPNOTSUPP || errno == ENOSYS) {
        file.claimed = std::numeric_limits<std::size_t>::max();
        return true;
    }
    return writeFailed(file, ioErrorCode(errno));
}

// Gives the complete new file its name: the target's where there was none, else a
// fresh one in its folder, from which it is renamed over the target right after. That
// name lasts a few system calls: it is not recorded in the state folder, which would
// cost a save of many small files a fifth of its time.
bool nameNewFile(TextFileRec& file) {
    if (!file.unnamedTemp) return true;
    const int folder = file.folder.get();
    if (!file.replacing) {
        if (sys::calls().linkTemp(file.handle.get(), folder, file.entry.c_str()) != 0) {
            return writeFailed(file, ioErrorCode(errno));
        }
        file.createdTarget = true;  // goes again if a later step fails
        return true;
    }
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        std::string name = freshTempName();
        if (sys::calls().linkTemp(file.handle.get(), folder, name.c_str()) == 0) {
            file.tempName = std::move(name);
            return true;
        }
        if (errno != EEXIST) break;
    }
    return writeFailed(file, ioErrorCode(errno));
}

// Flushes and syncs the new content.
bool syncNewContent(TextFileRec& file) {
    if (!flush(file)) return false;
    const int fd = file.handle.get();
    if (file.inPlace && sys::calls().ftruncate(fd, static_cast<off_t>(file.written)) != 0) {
        return writeFailed(file, ioErrorCode(errno));
    }
    if (sys::calls().fsync(fd) != 0) return writeFailed(file, ioErrorCode(errno));
    return true;
}

// The point from which the write does not go back: a stop signal or a cancel that came
// before it gives the write up; one that comes after is refused.
bool mayReplace(TextFileRec& file) {
    if (stopSignal() != 0) return false;
    return file.cancel == nullptr || file.cancel->commit();
}

// Puts the synced new content in place and removes what the state folder holds for it.
bool putInPlace(TextFileRec& file) {
    if (!nameNewFile(file)) return false;
    if (file.handle.close() != 0) return writeFailed(file, ioErrorCode(errno));
    if (!file.tempName.empty() &&
        sys::calls().renameAt(file.folder.get(), file.tempName.c_str(), file.entry.c_str()) != 0) {
        return writeFailed(file, ioErrorCode(errno));
    }
    file.tempName.clear();
    // The new content is in place. A record of its old content left behind would offer
    // that back at the next start: the user learns it, and where the copy is. A record
    // of a temporary name that is gone costs nothing; the next start removes it.
    const int err = file.record.remove();
    if (err != 0 && file.inPlace) {
        file.old.restored = true;  // the new content stays
        errno = err;
        fail(ioErrorCode(err));
        PendingIoCopy = file.record.keptPath();
        file.failure = PendingIoError;
        return false;
    }
    return true;
}

}  // namespace

std::string freshTempName() {
    static std::atomic<unsigned> counter{0};
    return ".velmor-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

void OpenWrite(TextFileRec& file) {
    if (file.name.empty()) return fail(kIoPathNotFound);
    ignoreFileSizeSignal();
    beginUndoableWrite();  // ended when the record is closed, whichever way
    // Allocated before any file is opened or made, so that running out of memory
    // leaves nothing behind.
    file.buffer = std::make_unique_for_overwrite<char[]>(kWriteBlock);
    file.capacity = kWriteBlock;
    file.bufPos = 0;
    file.written = 0;
    file.claimed = 0;
    file.sizeLimit = fileSizeLimit();
    file.mode = TextFileMode::Writing;
    int code = 0;
    try {
        code = prepareWrite(file);
    } catch (...) {
        AbandonText(file);  // out of memory for the old content: nothing touched yet
        throw;
    }
    if (code != 0) {
        const int err = errno;  // the failed call's, before the clean-up's calls
        AbandonText(file);
        errno = err;
        fail(code);
    }
}

void ClaimSpace(TextFileRec& file, std::size_t bytes) {
    if (PendingIoError == 0 && file.failure == 0 && file.inPlace) claimSpace(file, bytes);
}

void WriteText(TextFileRec& file, std::string_view text) {
    // After a failed write nothing more is written.
    if (PendingIoError != 0 || file.failure != 0 || text.empty()) return;
    if (file.written + file.bufPos + text.size() > file.sizeLimit) {
        writeFailed(file, kIoFileTooLarge);
        return;
    }
    if (file.inPlace && !claimSpace(file, text.size())) return;
    if (file.bufPos + text.size() > file.capacity) {
        // Large text goes straight from the caller's memory, in large writes.
        if (flush(file)) writeAll(file, text.data(), text.size());
        return;
    }
    std::memcpy(file.buffer.get() + file.bufPos, text.data(), text.size());
    file.bufPos += text.size();
}

void finishWrite(TextFileRec& file) {
    // A failure taken by CheckIo before this close is reported again: never success.
    if (file.failure != 0 && PendingIoError == 0) fail(file.failure);
    if (file.failure != 0 || !syncNewContent(file)) return abandonWrite(file);
    if (!mayReplace(file)) {
        abandonWrite(file);
        // Given up before anything was replaced: as a cancel, unless the old content
        // could not go back, which the user must learn, and where it is.
        if (file.old.restoreFailure == 0) throw EAbort();
        errno = 0;
        fail(file.old.restoreFailure);
        PendingIoCopy = file.old.keptCopy;
        return;
    }
    if (!putInPlace(file)) return abandonWrite(file);
    file.mode = TextFileMode::Closed;
    file.folder.reset();
    endUndoableWrite();
}

void abandonWrite(TextFileRec& file) {
    // A failure already put the old content back; other ways here do it now. The
    // error that brought us here is already on its way; where putting back fails,
    // the record keeps why and where the old content is (OldContent).
    if (file.inPlace && !file.old.restored) file.old.keptCopy = putBackOldContent(file);
    file.handle.reset();
    const int folder = file.folder.get();
    if (!file.tempName.empty()) sys::calls().unlinkAt(folder, file.tempName.c_str());
    if (file.createdTarget) sys::calls().unlinkAt(folder, file.entry.c_str());
    file.tempName.clear();
    // Written in place, the record went with the old content put back, or stays to
    // offer it; a new file's record goes with the file.
    if (!file.inPlace) file.record.remove();
    file.folder.reset();
    file.mode = TextFileMode::Closed;
    endUndoableWrite();
}

}  // namespace velmor
