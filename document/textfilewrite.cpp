#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "filepaths.h"
#include "ioerror.h"
#include "syscalls.h"
#include "textfilewrite.h"

namespace velmor {

namespace {

constexpr std::size_t kWriteBlock = 64 * 1024;
constexpr int kTempAttempts = 100;

// Creates the new file in `folder` under a name no other file has. Returns the
// handle, or -1 with errno set.
int createTemp(const std::string& folder, mode_t mode, std::string& tempName) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        tempName = folder + "/.velmor-" + std::to_string(::getpid()) + "-" +
                   std::to_string(counter++) + ".tmp";
        int fd = sys::calls().createTemp(tempName.c_str(), O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;  // errno is EEXIST
}

// Gives the new file the old one's permission bits, and its owner where we may.
int copyAttributes(int fd, const struct stat& old) {
    if (::geteuid() == 0 && sys::calls().fchown(fd, old.st_uid, old.st_gid) != 0) return errno;
    // After fchown, which clears set-user-ID bits.
    if (sys::calls().fchmod(fd, old.st_mode & 07777) != 0) return errno;
    return 0;
}

// Opens the existing target for writing over its content.
int openInPlace(TextFileRec& file) {
    int fd = sys::calls().open(file.target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return pathErrorCode(errno, file.target);
    struct stat st;
    int err = 0;
    if (sys::calls().fstat(fd, &st) != 0) {
        err = ioErrorCode(errno);
    } else if (!S_ISREG(st.st_mode)) {
        err = kIoNotRegularFile;
    }
    if (err != 0) {
        sys::calls().close(fd);  // never written to; err is what counts
        return err;
    }
    file.handle = fd;
    return 0;
}

bool writeAll(TextFileRec& file, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = sys::calls().write(file.handle, data, std::min(size, kMaxTransfer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A write that moves nothing would loop for ever; it is as good as a full disk.
            fail(n < 0 ? ioErrorCode(errno) : kIoDiskFull);
            return false;
        }
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
// claimed first: a full disk then fails before any old byte is lost.
bool claimSpace(TextFileRec& file, std::size_t bytes) {
    const std::size_t from = file.written + file.bufPos;
    if (from + bytes <= file.claimed) return true;
    if (sys::calls().fallocate(file.handle, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                               static_cast<off_t>(bytes)) == 0) {
        file.claimed = from + bytes;
        return true;
    }
    // File systems that cannot claim space ahead are written without the claim.
    if (errno == EOPNOTSUPP || errno == ENOSYS) {
        file.claimed = static_cast<std::size_t>(-1);
        return true;
    }
    fail(ioErrorCode(errno));
    return false;
}

}  // namespace

void OpenWrite(TextFileRec& file) {
    if (file.name.empty()) return fail(kIoPathNotFound);
    if (int err = resolveLinks(file.name, file.target); err != 0) {
        return fail(pathErrorCode(err, file.name));
    }
    struct stat old;
    bool exists = sys::calls().lstat(file.target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) return fail(pathErrorCode(errno, file.target));
    if (exists) {
        if (S_ISDIR(old.st_mode)) return fail(kIoAccessDenied);
        if (!S_ISREG(old.st_mode)) return fail(kIoNotRegularFile);
        // Root could write it anyway; a file nobody may write is meant to stay.
        if ((old.st_mode & 0222) == 0) return fail(kIoAccessDenied);
    }

    std::string tempName;
    int fd = createTemp(folderOf(file.target), exists ? 0600 : 0666, tempName);
    if (fd < 0) {
        int err = errno;
        bool folderRefuses = err == EACCES || err == EPERM || err == EROFS;
        if (!exists || !folderRefuses) {
            return fail(err == ENOENT ? kIoPathNotFound : ioErrorCode(err));
        }
        if (int code = openInPlace(file); code != 0) return fail(code);
    } else {
        file.handle = fd;
        file.tempName = tempName;
        if (exists) {
            if (int err = copyAttributes(fd, old); err != 0) {
                AbandonText(file);
                return fail(ioErrorCode(err));
            }
        }
    }
    file.mode = TextFileMode::Writing;
    file.written = 0;
    file.claimed = 0;
    file.bufPos = 0;
    file.capacity = kWriteBlock;
    file.buffer = std::make_unique_for_overwrite<char[]>(kWriteBlock);
}

void ClaimSpace(TextFileRec& file, std::size_t bytes) {
    if (PendingIoError == 0 && file.tempName.empty()) claimSpace(file, bytes);
}

void WriteText(TextFileRec& file, std::string_view text) {
    // After a failed write nothing more is written.
    if (PendingIoError != 0 || text.empty()) return;
    if (file.tempName.empty() && !claimSpace(file, text.size())) return;
    if (file.bufPos + text.size() > file.capacity) {
        // Large text goes straight from the caller's memory, in large writes.
        if (flush(file)) writeAll(file, text.data(), text.size());
        return;
    }
    std::memcpy(file.buffer.get() + file.bufPos, text.data(), text.size());
    file.bufPos += text.size();
}

void WriteTextLine(TextFileRec& file, std::string_view text) {
    WriteText(file, text);
    WriteText(file, "\r\n");
}

void finishWrite(TextFileRec& file) {
    const bool inPlace = file.tempName.empty();
    int code = 0;
    if (!flush(file)) {
        code = PendingIoError;
    } else if (inPlace && sys::calls().ftruncate(file.handle, static_cast<off_t>(file.written))) {
        code = ioErrorCode(errno);
    } else if (sys::calls().fsync(file.handle) != 0) {
        code = ioErrorCode(errno);
    }
    int fd = file.handle;
    file.handle = -1;
    if (sys::calls().close(fd) != 0 && code == 0) code = ioErrorCode(errno);
    if (code == 0 && !inPlace && sys::calls().rename(file.tempName.c_str(), file.target.c_str())) {
        code = ioErrorCode(errno);
    }
    // Unless the rename succeeded, the new file is removed and the target stays as it was.
    if (code != 0 && !inPlace) sys::calls().unlink(file.tempName.c_str());
    file.tempName.clear();
    file.mode = TextFileMode::Closed;
    if (code != 0) fail(code);
}

}  // namespace velmor
