#include "textfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "filepaths.h"
#include "ioerror.h"
#include "stopsignals.h"
#include "syscalls.h"
#include "textfileshared.h"

namespace velmor {

namespace {

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// True when the file still has the size and time it had when opened. Another program
// writing it meanwhile fails the read, also one that keeps appending to it.
bool unchangedSinceOpen(TextFileRec& file) {
    struct stat st;
    if (sys::calls().fstat(file.handle.get(), &st) != 0) {
        fail(ioErrorCode(errno));
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) != file.expectedSize ||
        !sameTime(st.st_mtim, file.expectedTime)) {
        fail(kIoFileChanged);
        return false;
    }
    return true;
}

}  // namespace

void OpenRead(TextFileRec& file) {
    const char* path = file.name.c_str();
    struct stat st;
    // Looking before opening keeps a device or FIFO from being opened at all.
    if (sys::calls().stat(path, &st) != 0) return fail(pathErrorCode(errno, file.name));
    if (S_ISDIR(st.st_mode)) return fail(kIoAccessDenied);
    if (!S_ISREG(st.st_mode)) return fail(kIoNotRegularFile);

    sys::FileDescriptor fd(sys::calls().open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return fail(pathErrorCode(errno, file.name));
    // The entry may have been replaced since the look above.
    if (sys::calls().fstat(fd.get(), &st) != 0) return fail(ioErrorCode(errno));
    if (S_ISDIR(st.st_mode)) return fail(kIoAccessDenied);
    if (!S_ISREG(st.st_mode)) return fail(kIoNotRegularFile);
    file.handle = std::move(fd);
    file.mode = TextFileMode::Reading;
    file.expectedSize = static_cast<std::size_t>(st.st_size);
    file.expectedTime = st.st_mtim;
    file.endOfFile = false;
    file.stream = false;
    file.readSoFar = 0;
}

void OpenStream(TextFileRec& file, int fd) {
    file.handle = sys::FileDescriptor(fd);
    file.mode = TextFileMode::Reading;
    file.endOfFile = false;
    file.stream = true;
    file.readSoFar = 0;
}

void OpenMemory(TextFileRec& file, std::string_view bytes) {
    file.mode = TextFileMode::Reading;
    file.endOfFile = false;
    file.stream = true;
    file.readSoFar = 0;
    file.memory = bytes;
    file.inMemory = true;
}

void OpenReadOrStream(TextFileRec& file, sys::FileDescriptor& stream) {
    OpenRead(file);
    if (PendingIoError != kIoNotRegularFile) return;
    // Not a regular file: a FIFO or character device is read as a stream.
    struct stat st;
    if (sys::calls().stat(file.name.c_str(), &st) != 0)
        return fail(pathErrorCode(errno, file.name));
    if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) return;  // 105 stays pending
    PendingIoError = 0;
    {
        // A FIFO waits for its writer, which a stop signal interrupts.
        StreamWait waiting;
        do {
            stream = sys::FileDescriptor(
                sys::calls().open(file.name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
            if (!stream && errno == EINTR) checkStopSignal();
        } while (!stream && errno == EINTR);
    }
    if (!stream) return fail(pathErrorCode(errno, file.name));
    OpenStream(file, stream.get());
}

std::size_t ReadBytes(TextFileRec& file, char* data, std::size_t size) {
    std::size_t got = 0;
    if (file.inMemory) {
        got = std::min(size, file.memory.size() - file.readSoFar);
        std::memcpy(data, file.memory.data() + file.readSoFar, got);
        file.readSoFar += got;
        // As for a file, the end is found by a read that finds nothing more.
        if (got < size) file.endOfFile = true;
        return got;
    }
    checkStopSignal();
    // A pipe or terminal may keep the read waiting: a stop signal interrupts it.
    std::optional<StreamWait> waiting;
    if (file.stream) waiting.emplace();
    while (got < size && !file.endOfFile) {
        ssize_t n =
            sys::calls().read(file.handle.get(), data + got, std::min(size - got, kMaxTransfer));
        if (n < 0 && errno == EINTR) {
            checkStopSignal();
            continue;
        }
        if (n < 0) {
            fail(ioErrorCode(errno));
            file.endOfFile = true;
            return 0;
        }
        file.readSoFar += static_cast<std::size_t>(n);
        got += static_cast<std::size_t>(n);
        if (n == 0) file.endOfFile = true;
        // At the end, and once past the size it had, a regular file is looked at again.
        const bool look = n == 0 || file.readSoFar > file.expectedSize;
        if (!file.stream && look && !unchangedSinceOpen(file)) {
            file.endOfFile = true;
            return 0;
        }
    }
    return got;
}

void finishRead(TextFileRec& file) {
    file.mode = TextFileMode::Closed;
    // A read that stopped early (at an end mark) has not looked at the file since.
    const bool changed = !file.stream && !file.endOfFile && !unchangedSinceOpen(file);
    if (file.stream) {
        file.handle.release();  // the process's own descriptor stays open
        return;
    }
    const int closed = file.handle.close();
    if (!changed && closed != 0) fail(ioErrorCode(errno));
}

}  // namespace velmor
