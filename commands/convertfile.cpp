#include "convertfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <optional>

#include "chunkreader.h"
#include "commands/messages.h"
#include "convert/converters.h"
#include "document/errors.h"
#include "document/ioerror.h"
#include "document/textfile.h"
#include "outputsink.h"
#include "piecewriter.h"
#include "streamreport.h"

namespace velmor {

namespace {

// A refusal of the kind the window tells in a message box.
struct Refusal {
    const char* message;
};

[[noreturn]] void throwIoError(int code) {
    throw EInOutError(code, ioErrorMessage(code));
}

// The input, opened as the window's Open opens a file, or the standard input.
class InputFile {
  public:
    explicit InputFile(const std::string& path) {
        if (path == kStandardStream) {
            fd_ = STDIN_FILENO;
            return;
        }
        AssignName(file_, path);
        OpenRead(file_);
        CheckIo();
        fd_ = file_.handle.get();
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~InputFile() {
        if (file_.mode != TextFileMode::Closed) AbandonText(file_);
    }
    int fd() const { return fd_; }
    bool isFile() const { return fd_ != STDIN_FILENO; }
    // Closes the file; fails with 1006, as the window's load does, when another
    // program changed it while it was read.
    void close() {
        if (file_.mode == TextFileMode::Closed) return;
        struct stat st;
        if (::fstat(fd_, &st) != 0) throwIoError(ioErrorCode(errno));
        if (static_cast<std::size_t>(st.st_size) != file_.expectedSize ||
            st.st_mtim.tv_sec != file_.expectedTime.tv_sec ||
            st.st_mtim.tv_nsec != file_.expectedTime.tv_nsec) {
            throwIoError(kIoFileChanged);
        }
        CloseText(file_);
        CheckIo();
    }

  private:
    TextFileRec file_;
    int fd_ = -1;
};

void throwReadError(int code) {
    if (code != 0) throwIoError(code);
}

// Runs `step`, a step on the file at `path`, so a failure names that file.
template <typename Step>
void onFile(std::string& failedPath, const std::string& path, Step step) {
    failedPath = path;
    step();
}

// The pieces of one file through the converter into the sink. Throws Refusal, and
// EInOutError with `failedPath` set to the file it concerns.
void convertPieces(const FileJob& job, const ConvertSettings& settings, InputFile& input,
                   FileResult& result, std::atomic<std::uint64_t>& progress,
                   std::string& failedPath) {
    ChunkReader reader(input.fd(), settings.chunkBytes, settings.report);
    const LoadedPiece* piece = &reader.next();
    throwReadError(piece->error);
    // The conversions refuse a Document that loaded to nothing.
    if (piece->loaded.empty()) throw Refusal{kMsgOpenFileFirst};
    const bool preScan = settings.direction == Direction::ToVelmor && !settings.force;
    if (preScan && containsKanjiIn(piece->loaded)) throw Refusal{kMsgAlreadyVelmor};

    std::unique_ptr<OutputSink> sink;
    if (!settings.check) {
        onFile(failedPath, job.output, [&] {
            sink = job.output == kStandardStream
                       ? openStdoutSink(preScan && !piece->last)
                       : openFileSink(job.output, input.isFile() ? input.fd() : -1);
        });
    }
    std::optional<PieceWriter> writer;
    if (sink) writer.emplace(*sink, appendSaved);
    try {
        ChunkConverter converter(settings.direction, settings.tables);
        StreamReport report(settings.direction, settings.gaiji);
        std::string unwritten;  // with --check a piece is converted only to be reported on
        for (;;) {
            std::string* converted = &unwritten;
            if (writer) onFile(failedPath, job.output, [&] { converted = &writer->buffer(); });
            converted->clear();
            converter.convert(piece->loaded, *converted);
            if (settings.report) report.addPiece(*piece, converter.takeMayReport());
            result.bytesRead += piece->inputBytes;
            if (writer) writer->submit();
            progress += piece->inputBytes;
            if (piece->last) break;
            failedPath = job.input;
            piece = &reader.next();
            throwReadError(piece->error);
            // A kanji-in anywhere refuses the whole file, as the window's pre-scan does.
            if (preScan && containsKanjiIn(piece->loaded)) throw Refusal{kMsgAlreadyVelmor};
        }
        result.report = report.report();
        result.marked = converter.converted();
        if (!writer) return;
        onFile(failedPath, job.output, [&] {
            writer->buffer().assign(kFinalLineEnd);
            writer->submit(false);
            writer->drain();
        });
        result.bytesWritten = writer->written();
        onFile(failedPath, job.input, [&] { input.close(); });
        onFile(failedPath, job.output, [&] { sink->finish(); });
    } catch (...) {
        // Whatever ends the file early (a refusal found late, a failed read) gives
        // the output up at once, once its writer has stopped; a target written in
        // place whose old content cannot go back is then the error the user learns.
        writer.reset();
        try {
            if (sink) sink->abandon();
        } catch (const EInOutError&) {
            failedPath = job.output;
            throw;
        }
        throw;
    }
}

// The one line a message takes: its CR LF breaks become spaces.
std::string oneLine(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " ");
    return text;
}

}  // namespace

FileResult convertFile(const FileJob& job, const ConvertSettings& settings,
                       std::atomic<std::uint64_t>& progress) {
    FileResult result;
    std::string failedPath = job.input;
    try {
        InputFile input(job.input);
        convertPieces(job, settings, input, result, progress, failedPath);
        return result;
    } catch (const Refusal& refusal) {
        result.outcome = FileOutcome::Refused;
        result.path = job.input;
        result.message = oneLine(refusal.message);
        return result;
    } catch (const EInOutError& error) {
        result.code = error.ErrorCode;
        result.message = error.message();
    } catch (const Exception& error) {
        result.message = error.message();
    } catch (const std::bad_alloc&) {
        result.message = kMsgOutOfMemory;
    }
    result.outcome = FileOutcome::Failed;
    result.path = failedPath;
    return result;
}

}  // namespace velmor
