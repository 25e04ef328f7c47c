#include "outputsink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "filepaths.h"
#include "ioerror.h"
#include "stopsignals.h"
#include "syscalls.h"
#include "textfile.h"
#include "textfilewriting.h"

namespace velmor {

namespace {

[[noreturn]] void throwFailure(int code, const std::string& name, int err = 0) {
    throw EInOutError(code, ioErrorMessage(code), name, err);
}
[[noreturn]] void throwErrno(const std::string& name) {
    const int err = errno;
    throwFailure(ioErrorCode(err), name, err);
}
// `code` from a helper that returns codes, right after the call that failed.
[[noreturn]] void throwCode(int code, const std::string& name) {
    throwFailure(code, name, errnoBehind(code, errno));
}

// An open descriptor of the process's own, such as the standard output, or one
// opened for the sink (`owned`), closed at finish().
class StreamSink : public OutputSink {
  public:
    StreamSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    StreamSink(sys::FileDescriptor owned, std::string name)
        : fd_(owned.get()), name_(std::move(name)), owned_(std::move(owned)) {}

    void write(std::string_view bytes) override {
        // A pipe may keep the write waiting: a stop signal interrupts it.
        StreamWait waiting;
        while (!bytes.empty()) {
            ssize_t n = sys::calls().write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) {
                checkStopSignal();
                continue;
            }
            if (n < 0) throwErrno(name_);
            if (n == 0) throwFailure(kIoDiskFull, name_);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    void finish() override {
        if (owned_ && owned_.close() != 0) throwErrno(name_);
    }

  private:
    int fd_;
    std::string name_;
    sys::FileDescriptor owned_;
};

// The output waits in an unnamed temporary file and goes to `target` at finish().
class HeldSink : public OutputSink {
  public:
    HeldSink(std::unique_ptr<OutputSink> target, std::string name)
        : target_(std::move(target)), name_(std::move(name)), held_(scratchFile()) {
        if (!held_) throwErrno(name_);
    }

    void expect(std::size_t bytes) override { target_->expect(bytes); }

    void write(std::string_view bytes) override {
        if (int code =
                writeExactly(held_.get(), bytes.data(), bytes.size(), static_cast<off_t>(size_))) {
            throwCode(code, name_);
        }
        size_ += bytes.size();
    }

    void finish() override {
        constexpr std::size_t kBlock = 1 << 20;
        auto block = std::make_unique_for_overwrite<char[]>(kBlock);
        for (std::size_t at = 0; at < size_;) {
            const std::size_t n = std::min(kBlock, size_ - at);
            if (int code = readExactly(held_.get(), block.get(), n, static_cast<off_t>(at))) {
                throwCode(code, name_);
            }
            target_->write(std::string_view(block.get(), n));
            at += n;
        }
        target_->finish();
    }

    void abandon() override { target_->abandon(); }

  private:
    std::unique_ptr<OutputSink> target_;
    std::string name_;
    sys::FileDescriptor held_;
    std::size_t size_ = 0;
};

class FileSink : public OutputSink {
  public:
    FileSink(const std::string& path, Progress* cancel) {
        AssignName(file_, path);
        file_.cancel = cancel;
        OpenWrite(file_);
        CheckIo(file_);
    }
    ~FileSink() override {
        if (file_.mode != TextFileMode::Closed) AbandonText(file_);
    }

    // True when the target is written in place (it cannot be replaced without
    // losing what it is) and is the same file as `fd`. A target that cannot be told
    // apart from the input fails: writing over the input while it is read loses it.
    bool overwritesInputAt(int fd) const {
        if (!file_.inPlace || fd < 0) return false;
        struct stat in, out;
        if (sys::calls().fstat(fd, &in) != 0 || sys::calls().fstat(file_.handle.get(), &out) != 0) {
            throwErrno(file_.name);
        }
        return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
    }

    void expect(std::size_t bytes) override {
        ClaimSpace(file_, bytes);
        CheckIo(file_);
    }

    void write(std::string_view bytes) override {
        checkStopSignal();  // a stop signal gives the write up before the next chunk
        WriteText(file_, bytes);
        CheckIo(file_);
        startWriteBack();
    }

    void finish() override {
        CloseText(file_);
        CheckIo(file_);
    }

    void abandon() override {
        if (file_.mode == TextFileMode::Closed) return;
        // A failed write of its own was reported already, with where the old content is.
        const bool reported = file_.failure != 0;
        AbandonText(file_);
        if (!reported && file_.old.restoreFailure != 0) {
            throwIoFailure(file_.old.restoreFailure, file_, file_.old.keptCopy);
        }
    }

  private:
    // Starts the disk writes of what was written so far, so the final sync finds
    // little left to do. Only a hint: a failed write-back is reported by that sync.
    void startWriteBack() {
        if (file_.written < started_ + kWriteBackStep) return;
        sys::calls().syncRange(file_.handle.get(), static_cast<off_t>(started_),
                               static_cast<off_t>(file_.written - started_), SYNC_FILE_RANGE_WRITE);
        started_ = file_.written;
    }

    static constexpr std::size_t kWriteBackStep = 8 << 20;
    TextFileRec file_;
    std::size_t started_ = 0;
};

}  // namespace

std::unique_ptr<OutputSink> openFileSink(const std::string& path, int inputFd, Progress* cancel) {
    auto sink = std::make_unique<FileSink>(path, cancel);
    if (!sink->overwritesInputAt(inputFd)) return sink;
    return std::make_unique<HeldSink>(std::move(sink), path);
}

std::unique_ptr<OutputSink> openPathSink(const std::string& path, int inputFd, bool holdBack) {
    bool fifo = false;
    try {
        return openFileSink(path, inputFd);
    } catch (const EInOutError& error) {
        if (error.ErrorCode != kIoNotRegularFile) throw;
        // Not a regular file: a FIFO or character device is written as a stream.
        struct stat st;
        if (sys::calls().stat(path.c_str(), &st) != 0) throwCode(pathErrorCode(errno, path), path);
        if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) throw;
        fifo = S_ISFIFO(st.st_mode);
    }
    // A FIFO is opened as the shell's ">" opens it, with O_CREAT: in a sticky folder the
    // kernel then refuses one of another user's (fs.protected_fifos), which could have
    // been planted there to catch what is written. The open waits for a reader, which a
    // stop signal interrupts.
    sys::FileDescriptor fd;
    {
        StreamWait waiting;
        constexpr int kFlags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
        do {
            fd = sys::FileDescriptor(fifo ? sys::calls().createTemp(path.c_str(), kFlags, 0666)
                                          : sys::calls().open(path.c_str(), kFlags));
            if (!fd && errno == EINTR) checkStopSignal();
        } while (!fd && errno == EINTR);
    }
    if (!fd) throwCode(pathErrorCode(errno, path), path);
    struct stat opened;
    if (sys::calls().fstat(fd.get(), &opened) != 0) throwErrno(path);
    // Made a regular file between the look and the open: saved as one.
    if (S_ISREG(opened.st_mode)) return openFileSink(path, inputFd);
    std::unique_ptr<OutputSink> sink = std::make_unique<StreamSink>(std::move(fd), path);
    if (!holdBack) return sink;
    return std::make_unique<HeldSink>(std::move(sink), path);
}

std::unique_ptr<OutputSink> openStreamSink(int fd, const std::string& name, bool holdBack) {
    auto sink = std::make_unique<StreamSink>(fd, name);
    if (!holdBack) return sink;
    return std::make_unique<HeldSink>(std::move(sink), name);
}

}  // namespace velmor
