#include "textfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "filepaths.h"
#include "hugepages.h"
#include "ioerror.h"
#include "linebreaks.h"
#include "lineloading.h"
#include "syscalls.h"
#include "textfileshared.h"

namespace velmor {

namespace {

constexpr std::size_t kMinBlock = 64 * 1024;

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

// Reads the first bytes of the file, as many as it had when opened, into the empty
// buffer in the parts of `readCut` at once: copying from the page cache and touching
// fresh memory then take every core. Returns the bytes read from the start without a
// gap and leaves the file offset after them, so that the reads that follow go on from
// there and meet any failure or change of the file themselves.
std::size_t readInParts(TextFileRec& file) {
    const std::size_t n = std::min(file.expectedSize, file.capacity);
    const std::size_t parts = file.readCut.partsFor(n);
    if (parts < 2) return 0;
    std::vector<std::size_t> read(parts);
    const auto partRange = [&](std::size_t k) {
        return std::pair(n / parts * k, k + 1 == parts ? n : n / parts * (k + 1));
    };
    const auto readPart = [&](std::size_t k) {
        const auto [from, to] = partRange(k);
        std::size_t at = from;
        while (at < to) {
            ssize_t got =
                sys::calls().pread(file.handle.get(), file.buffer.get() + at,
                                   std::min(to - at, kMaxTransfer), static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            at += static_cast<std::size_t>(got);
        }
        read[k] = at - from;
    };
    // Part 0 here, the others on threads of their own.
    const auto readLaterPart = [&readPart](std::size_t i) { readPart(i + 1); };
    std::vector<std::future<void>> running = startOnThreads(parts - 1, readLaterPart);
    readPart(0);
    std::size_t gapless = read[0];
    bool whole = read[0] == partRange(0).second;
    for (std::size_t k = 1; k < parts; ++k) {
        awaitOrDo(running, k - 1, readLaterPart);
        if (whole) gapless += read[k];
        const auto [from, to] = partRange(k);
        whole = whole && read[k] == to - from;
    }
    if (::lseek(file.handle.get(), static_cast<off_t>(gapless), SEEK_SET) !=
        static_cast<off_t>(gapless)) {
        return 0;
    }
    return gapless;
}

// Refills the buffer from the file. The first fill is sized to take the whole file
// at once. Returns false at the end of the file or on a failed read (code pending).
bool readBlock(TextFileRec& file) {
    file.bufPos = 0;
    file.bufEnd = 0;
    if (file.endOfFile) return false;
    if (!file.buffer) {
        // One byte more than the size lets the read that finds the end share the fill.
        file.capacity = std::max(kMinBlock, file.expectedSize + 1);
        file.buffer = std::make_unique_for_overwrite<char[]>(file.capacity);
        adviseHugePages(file.buffer.get(), file.capacity);
        file.bufEnd = readInParts(file);
    } else if (!unchangedSinceOpen(file)) {
        // A full first fill without the end: the file has grown.
        file.endOfFile = true;
        return false;
    }
    while (file.bufEnd < file.capacity) {
        std::size_t want = std::min(file.capacity - file.bufEnd, kMaxTransfer);
        ssize_t n = sys::calls().read(file.handle.get(), file.buffer.get() + file.bufEnd, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(ioErrorCode(errno));
            file.endOfFile = true;
            return false;
        }
        if (n == 0) {
            file.endOfFile = true;
            if (!unchangedSinceOpen(file)) {
                file.bufEnd = 0;
                return false;
            }
            break;
        }
        file.bufEnd += static_cast<std::size_t>(n);
    }
    return file.bufEnd > 0;
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
    releaseBuffer(file);
}

bool AtEnd(TextFileRec& file) {
    if (file.bufPos == file.bufEnd && !readBlock(file)) return true;
    return file.buffer[file.bufPos] == kCtrlZ;
}

void ReadTextLine(TextFileRec& file, std::string& line) {
    line.clear();
    for (;;) {
        if (file.bufPos == file.bufEnd && !readBlock(file)) return;
        const char* start = file.buffer.get() + file.bufPos;
        std::size_t available = file.bufEnd - file.bufPos;
        const void* lf = std::memchr(start, '\n', available);
        std::size_t size = lf ? static_cast<const char*>(lf) - start : available;
        appendWithoutCr(line, start, size);
        if (lf) {
            file.bufPos += size + 1;
            return;
        }
        file.bufPos = file.bufEnd;
    }
}

void finishRead(TextFileRec& file) {
    file.mode = TextFileMode::Closed;
    if (file.handle.close() != 0) fail(ioErrorCode(errno));
}

std::string_view BufferedText(const TextFileRec& file) {
    if (file.mode != TextFileMode::Reading) return {};
    return {file.buffer.get() + file.bufPos, file.bufEnd - file.bufPos};
}

void ConsumeBuffered(TextFileRec& file, std::size_t bytes) {
    file.bufPos += std::min(bytes, file.bufEnd - file.bufPos);
}

}  // namespace velmor
