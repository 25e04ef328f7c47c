#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "filepaths.h"
#include "ioerror.h"
#include "textfileshared.h"
#include "textfilewriting.h"

namespace velmor {

namespace {

std::string tempFolder() {
    const char* folder = ::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

// Copies `size` bytes from the start of `from` to the start of `to` through the
// record's write buffer.
int copyBytes(TextFileRec& file, int from, int to, std::size_t size) {
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min(file.capacity, size - at);
        if (int code = readExactly(from, file.buffer.get(), n, static_cast<off_t>(at))) return code;
        if (int code = writeExactly(to, file.buffer.get(), n, static_cast<off_t>(at))) return code;
        at += n;
    }
    return 0;
}

// Gives the file the size `size` and back the disk space claimed past it. A cut to the
// size a file has already may leave such space claimed (ext4 on some kernels), so
// the cut is made from one byte further.
int cutBack(int fd, std::size_t size) {
    const auto end = static_cast<off_t>(size);
    // Past the process's size limit the file cannot grow: the cut alone then.
    if (sys::calls().ftruncate(fd, end + 1) != 0 && errno != EFBIG) return ioErrorCode(errno);
    if (sys::calls().ftruncate(fd, end) != 0) return ioErrorCode(errno);
    return 0;
}

int restore(TextFileRec& file) {
    OldContent& old = file.old;
    const int fd = file.handle.get();
    if (fd < 0) return ioErrorCode(EBADF);
    if (old.touched) {
        if (int code = copyBytes(file, old.copy.get(), fd, old.size)) return code;
    }
    if (int code = cutBack(fd, old.size)) return code;
    if (sys::calls().fsync(fd) != 0) return ioErrorCode(errno);
    return 0;
}

}  // namespace

namespace {

// Moves exactly `size` bytes at `at` with `transfer` (pread or pwrite); a transfer
// of nothing gives `ended`.
template <typename Data, typename Transfer>
int transferExactly(Transfer transfer, int fd, Data data, std::size_t size, off_t at, int ended) {
    while (size > 0) {
        ssize_t n = transfer(fd, data, std::min(size, kMaxTransfer), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ioErrorCode(errno);
        if (n == 0) return ended;
        data += n;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

// A file that ends early has been changed.
int readExactly(int fd, char* data, std::size_t size, off_t at) {
    return transferExactly(sys::calls().pread, fd, data, size, at, kIoFileChanged);
}

int writeExactly(int fd, const char* data, std::size_t size, off_t at) {
    return transferExactly(sys::calls().pwrite, fd, data, size, at, kIoDiskFull);
}

// A file in the temporary folder that vanishes with its descriptor: unnamed where
// the file system allows, else named and removed at once.
sys::FileDescriptor scratchFile() {
    sys::FileDescriptor folder(
        sys::calls().open(tempFolder().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return folder;
    sys::FileDescriptor fd(sys::calls().tmpFile(folder.get(), O_RDWR | O_CLOEXEC, 0600));
    if (fd || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = freshTempName();
        fd = sys::FileDescriptor(sys::calls().openAt(folder.get(), name.c_str(),
                                                     O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd) {
            sys::calls().unlinkAt(folder.get(), name.c_str());
            return fd;
        }
        if (errno != EEXIST) break;
    }
    return fd;
}

int keepOldContent(TextFileRec& file, int readable, std::size_t size) {
    OldContent& old = file.old;
    old.size = size;
    // A named copy, on disk with a record of whose it is before the file is touched:
    // should the process die meanwhile, the next start offers it back.
    if (int err = file.record.open()) return ioErrorCode(err);
    sys::FileDescriptor copy = file.record.makeKeptFile();
    if (!copy) return ioErrorCode(errno);
    if (int code = copyBytes(file, readable, copy.get(), size)) return code;
    if (sys::calls().fsync(copy.get()) != 0) return ioErrorCode(errno);
    std::string folder;
    if (int err = folderPathOf(file.folder.get(), folderOf(file.target), folder)) {
        errno = err;
        return ioErrorCode(err);
    }
    if (int err = file.record.write(WriteRecord::Kind::Old, folder + "/" + file.entry,
                                    file.record.keptPath(), size, true)) {
        errno = err;
        return ioErrorCode(err);
    }
    old.copy = std::move(copy);
    return 0;
}

std::string putBackOldContent(TextFileRec& file) {
    if (file.old.restored) return {};
    file.old.restored = true;
    // Until the first write or claim the file is as it was, its old content perhaps
    // not even read.
    if (file.old.touched || file.claimTried > 0) file.old.restoreFailure = restore(file);
    if (file.old.restoreFailure == 0) {
        file.record.remove();
        return {};
    }
    // The copy stays where it is, with its record, for the user and the next start.
    std::string kept = file.record.keptPath();
    file.record.release();
    return kept;
}

}  // namespace velmor
