#include "outputsink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "document/errors.h"
#include "document/ioerror.h"

namespace velmor {

namespace {

[[noreturn]] void throwIoError(int code) {
    throw EInOutError(code, ioErrorMessage(code));
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwIoError(ioErrorCode(errno));
        if (n == 0) throwIoError(kIoDiskFull);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// The output waits in an unnamed temporary file and goes to `target` at finish().
class HeldSink : public OutputSink {
  public:
    explicit HeldSink(std::unique_ptr<OutputSink> target) : target_(std::move(target)) {
        const char* folder = std::getenv("TMPDIR");
        fd_ = ::open(folder && *folder ? folder : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0) throwIoError(ioErrorCode(errno));
    }
    ~HeldSink() override { ::close(fd_); }

    void write(std::string_view bytes) override { writeAll(fd_, bytes); }

    void finish() override {
        if (::lseek(fd_, 0, SEEK_SET) != 0) throwIoError(ioErrorCode(errno));
        constexpr std::size_t kBlock = 1 << 20;
        auto block = std::make_unique_for_overwrite<char[]>(kBlock);
        for (;;) {
            ssize_t n = ::read(fd_, block.get(), kBlock);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throwIoError(ioErrorCode(errno));
            if (n == 0) break;
            target_->write(std::string_view(block.get(), static_cast<std::size_t>(n)));
        }
        target_->finish();
    }

    void abandon() override { target_->abandon(); }

  private:
    std::unique_ptr<OutputSink> target_;
    int fd_ = -1;
};

class StdoutSink : public OutputSink {
  public:
    void write(std::string_view bytes) override { writeAll(STDOUT_FILENO, bytes); }
    void finish() override {}
};

class FileSink : public OutputSink {
  public:
    explicit FileSink(const std::string& path) {
        AssignName(file_, path);
        OpenWrite(file_);
        CheckIo();
    }
    ~FileSink() override {
        if (file_.mode != TextFileMode::Closed) AbandonText(file_);
    }

    // True when the target is written in place (it cannot be replaced without
    // losing what it is) and is the same file as `fd`.
    bool overwritesInputAt(int fd) const {
        struct stat in, out;
        return file_.inPlace && fd >= 0 && ::fstat(fd, &in) == 0 &&
               ::fstat(file_.handle.get(), &out) == 0 && in.st_dev == out.st_dev &&
               in.st_ino == out.st_ino;
    }

    void write(std::string_view bytes) override {
        WriteText(file_, bytes);
        CheckIo();
        startWriteBack();
    }

    void finish() override {
        CloseText(file_);
        CheckIo();
    }

    void abandon() override {
        if (file_.mode == TextFileMode::Closed) return;
        // A failed write of its own was reported already, with where the old content is.
        const bool reported = file_.failure != 0;
        AbandonText(file_);
        if (!reported && file_.old.restoreFailure != 0) {
            throwIoFailure(file_.old.restoreFailure, file_.old.keptCopy);
        }
    }

  private:
    // Starts the disk writes of what was written so far, so the final sync finds
    // little left to do. Only a hint: a failed write-back is reported by that sync.
    void startWriteBack() {
        if (file_.written < started_ + kWriteBackStep) return;
        ::sync_file_range(file_.handle.get(), static_cast<off_t>(started_),
                          static_cast<off_t>(file_.written - started_), SYNC_FILE_RANGE_WRITE);
        started_ = file_.written;
    }

    static constexpr std::size_t kWriteBackStep = 8 << 20;
    TextFileRec file_;
    std::size_t started_ = 0;
};

}  // namespace

std::unique_ptr<OutputSink> openFileSink(const std::string& path, int inputFd) {
    auto sink = std::make_unique<FileSink>(path);
    if (!sink->overwritesInputAt(inputFd)) return sink;
    return std::make_unique<HeldSink>(std::move(sink));
}

std::unique_ptr<OutputSink> openStdoutSink(bool holdBack) {
    auto sink = std::make_unique<StdoutSink>();
    if (!holdBack) return sink;
    return std::make_unique<HeldSink>(std::move(sink));
}

}  // namespace velmor
