// velmor-convert: converts files between VELMOR and Shift-JIS from the command
// line, with the bytes the window writes, several files at once.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

#include "commands/convertfile.h"
#include "commands/messages.h"
#include "document/errors.h"
#include "document/keptfiles.h"
#include "document/outputsink.h"
#include "document/standardstreams.h"
#include "document/stopsignals.h"
#include "document/syscalls.h"
#include "document/threads.h"
#include "options.h"
#include "progress.h"
#include "reportoutput.h"

namespace {

using namespace velmor;

std::uint64_t totalInputBytes(const std::vector<FileJob>& jobs) {
    std::uint64_t total = 0;
    struct stat st;
    for (const auto& job : jobs) {
        if (job.input != kStandardStream && sys::calls().stat(job.input.c_str(), &st) == 0) {
            total += static_cast<std::uint64_t>(st.st_size);
        }
    }
    return total;
}

// The line a refused or failed file gets on standard error.
std::string failureLine(const FileResult& result) {
    std::string line = "velmor-convert: " + result.path + ": " + result.message;
    if (result.code != 0) line += " (" + std::to_string(result.code) + ")";
    return line;
}

// Writes the JSON report to `path` ("-": standard output), a file as the outputs are
// written; false after telling why not.
bool writeJson(const std::string& path, const std::vector<FileReport>& reports) {
    const std::string json = reportJson(reports);
    try {
        std::unique_ptr<OutputSink> sink = path == kStandardStream
                                               ? openStreamSink(STDOUT_FILENO, path, false)
                                               : openFileSink(path);
        sink->write(json);
        sink->finish();
        return true;
    } catch (const EInOutError& error) {
        std::fprintf(stderr, "velmor-convert: %s: %s (%d)\n", error.FileName.c_str(),
                     error.message().c_str(), error.ErrorCode);
    } catch (const EAbort&) {
        // A stop signal: the run ends with its status.
    }
    return false;
}

// Tells on standard error of each old content that an interrupted run kept, and how
// to put it back; with `restore`, puts each back. False when one could not be.
bool dealWithKeptFiles(bool restore) {
    bool ok = true;
    for (KeptFile& kept : findKeptFiles()) {
        if (!restore) {
            std::fprintf(stderr,
                         "velmor-convert: %s: a write of this file was interrupted; its old "
                         "content is kept in %s (velmor-convert --restore-kept puts it back; "
                         "removing that file drops it)\n",
                         kept.target.c_str(), kept.copy.c_str());
            continue;
        }
        try {
            restoreKeptFile(kept);
            std::fprintf(stderr, "velmor-convert: %s: old content put back from %s\n",
                         kept.target.c_str(), kept.copy.c_str());
        } catch (const EInOutError& error) {
            std::fprintf(stderr, "velmor-convert: %s: %s (%d)\n", error.FileName.c_str(),
                         error.message().c_str(), error.ErrorCode);
            ok = false;
        } catch (const EAbort&) {
            return false;
        }
    }
    return ok;
}

// The files of the run, handed out to the workers in order. A worker whose file
// failed for lack of memory or descriptors while others run puts it back and stops:
// with one file fewer at once, it is converted again. The last worker never stops.
class JobQueue {
  public:
    explicit JobQueue(std::size_t jobs) {
        for (std::size_t i = 0; i < jobs; ++i) waiting_.push_back(i);
    }
    void workerStarted() {
        std::lock_guard lock(mutex_);
        ++workers_;
    }
    // The next file's index; false when none is left, or a stop signal came.
    bool take(std::size_t& job) {
        std::lock_guard lock(mutex_);
        if (waiting_.empty() || stopSignal() != 0) return false;
        job = waiting_.front();
        waiting_.pop_front();
        return true;
    }
    // True when `job` was put back and the worker is to stop.
    bool putBackAndStop(std::size_t job) {
        std::lock_guard lock(mutex_);
        if (workers_ < 2) return false;
        --workers_;
        waiting_.push_front(job);
        return true;
    }
    void workerStopped() {
        std::lock_guard lock(mutex_);
        --workers_;
    }

  private:
    std::mutex mutex_;
    std::deque<std::size_t> waiting_;
    std::size_t workers_ = 0;
};

int run(const CommandLine& commandLine) {
    const auto& jobs = commandLine.jobs;
    Progress bytes(totalInputBytes(jobs));
    ProgressLine progress(!commandLine.quiet && ::isatty(STDERR_FILENO), jobs.size(), bytes);
    JobQueue queue(jobs.size());
    std::mutex resultsMutex;
    bool anyFailed = false;
    bool anyLoss = false;
    std::vector<FileReport> reports(jobs.size());
    auto worker = [&] {
        for (std::size_t i; queue.take(i);) {
            FileResult result = convertFile(jobs[i], commandLine.settings, &bytes);
            if (stopSignal() != 0) break;  // given up, not failed: the run's status tells
            if (result.resourcesShort && jobs[i].input != kStandardStream &&
                queue.putBackAndStop(i)) {
                return;
            }
            if (commandLine.printReport && !result.report.empty()) {
                std::string lines =
                    reportLines(jobs[i].input, result.report, commandLine.maxReport);
                lines.pop_back();
                progress.tell(lines);
            }
            if (result.outcome != FileOutcome::Converted) progress.tell(failureLine(result));
            {
                std::lock_guard lock(resultsMutex);
                anyLoss = anyLoss || !result.report.empty();
                anyFailed = anyFailed || result.outcome != FileOutcome::Converted;
                reports[i] = {jobs[i].input, commandLine.settings.direction,
                              std::move(result.report)};
            }
            progress.fileDone();
        }
        queue.workerStopped();
    };
    // This thread is one of the workers; the others run while threads can be had.
    queue.workerStarted();
    std::vector<Thread> workers;
    for (unsigned k = 1; k < commandLine.parallelFiles; ++k) {
        queue.workerStarted();
        Thread thread = Thread::start(worker);
        if (!thread.running()) {
            queue.workerStopped();
            break;
        }
        workers.push_back(std::move(thread));
    }
    worker();
    for (Thread& thread : workers) thread.join();
    if (const int signal = stopSignal()) return 128 + signal;
    if (!commandLine.reportJson.empty() && !writeJson(commandLine.reportJson, reports)) {
        anyFailed = true;
    }
    if (anyFailed) return kExitSomeFailed;
    return commandLine.settings.check && anyLoss ? kExitWouldLose : kExitConverted;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything is opened, so that no file gets the descriptor of a closed
    // standard stream and what is meant for it.
    guardStandardStreams();
    installStopSignals(OnStop::ExitStatus);
    CommandLine commandLine;
    if (auto status = parseCommandLine(argc, argv, commandLine)) return *status;
    // A closed standard output shows as a failed write of that file, not a signal.
    ::signal(SIGPIPE, SIG_IGN);
    try {
        const bool kept = dealWithKeptFiles(commandLine.restoreKept);
        if (const int signal = stopSignal()) return 128 + signal;
        if (commandLine.restoreKept) return kept ? kExitConverted : kExitSomeFailed;
        return run(commandLine);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velmor-convert: %s\n", kMsgOutOfMemory);
    }
    return kExitSomeFailed;
}
