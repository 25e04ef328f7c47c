#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ioerror.h"
#include "textfileshared.h"
#include "textfilewriting.h"

namespace velmor {

namespace {

// Old content up to this size is kept in memory; larger content in a file.
constexpr std::size_t kCopyInMemory = 16 << 20;

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

int restore(TextFileRec& file) {
    OldContent& old = file.old;
    const int fd = file.handle.get();
    if (fd < 0) return ioErrorCode(EBADF);
    if (old.touched) {
        int code = old.copy ? copyBytes(file, old.copy.get(), fd, old.size)
                            : writeExactly(fd, old.bytes.data(), old.size, 0);
        if (code != 0) return code;
    }
    // Also frees the blocks claimed past the old end.
    if (sys::calls().ftruncate(fd, static_cast<off_t>(old.size)) != 0) return ioErrorCode(errno);
    if (sys::calls().fsync(fd) != 0) return ioErrorCode(errno);
    return 0;
}

// Leaves the old content under a name in the temporary folder; empty when that fails.
std::string nameTheCopy(TextFileRec& file) {
    OldContent& old = file.old;
    const std::string folder = tempFolder();
    if (old.copy) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = freshTempName(folder);
            if (sys::calls().linkTemp(old.copy.get(), name.c_str()) == 0) return name;
            if (errno != EEXIST) break;
        }
        return {};
    }
    std::string name;
    sys::FileDescriptor fd = createNamed(folder, O_WRONLY | O_EXCL | O_CLOEXEC, 0600, name);
    if (!fd) return {};
    if (writeExactly(fd.get(), old.bytes.data(), old.size, 0) != 0 ||
        sys::calls().fsync(fd.get()) != 0 || fd.close() != 0) {
        sys::calls().unlink(name.c_str());
        return {};
    }
    return name;
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
    const std::string folder = tempFolder();
    sys::FileDescriptor fd(sys::calls().tmpFile(folder.c_str(), O_RDWR | O_CLOEXEC, 0600));
    if (fd || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string name;
    fd = createNamed(folder, O_RDWR | O_EXCL | O_CLOEXEC, 0600, name);
    if (fd) sys::calls().unlink(name.c_str());
    return fd;
}

int keepOldContent(TextFileRec& file, int readable, std::size_t size) {
    OldContent& old = file.old;
    old.size = size;
    if (size <= kCopyInMemory) {
        old.bytes.resize(size);
        return readExactly(readable, old.bytes.data(), size, 0);
    }
    sys::FileDescriptor copy = scratchFile();
    if (!copy) return ioErrorCode(errno);
    if (int code = copyBytes(file, readable, copy.get(), size)) return code;
    old.copy = std::move(copy);
    return 0;
}

std::string putBackOldContent(TextFileRec& file) {
    if (file.old.restored) return {};
    file.old.restored = true;
    // Until the first write or claim the file is as it was, its old content perhaps
    // not even read.
    if (!file.old.touched && file.claimed == 0) return {};
    file.old.restoreFailure = restore(file);
    if (file.old.restoreFailure == 0) return {};
    return nameTheCopy(file);
}

}  // namespace velmor
