#include "outputsink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
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

// An open descriptor of the process's own, such as the standard output.
class StreamSink : public OutputSink {
  public:
    StreamSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

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
    void finish() override {}

  private:
    int fd_;
    std::string name_;
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

std::unique_ptr<OutputSink> openStreamSink(int fd, const std::string& name, bool holdBack) {
    auto sink = std::make_unique<StreamSink>(fd, name);
    if (!holdBack) return sink;
    return std::make_unique<HeldSink>(std::move(sink), name);
}

}  // namespace velmor
