// velmor-convert: converts files between VELMOR and Shift-JIS from the command
// line, with the bytes the window writes, several files at once.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

#include "commands/convertfile.h"
#include "document/errors.h"
#include "document/keptfiles.h"
#include "document/outputsink.h"
#include "document/standardstreams.h"
#include "document/stopsignals.h"
#include "document/syscalls.h"
#include "document/threads.h"
#include "i18n.h"
#include "options.h"
#include "progress.h"
#include "reportoutput.h"
#include "texts.h"

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
    const std::string text =
        result.outcome == FileOutcome::Refused ? refusalText(result) : failureText(result);
    return "velmor-convert: " + shownInput(result.path) + ": " + text;
}

// What standard error says of a file's losses: the whole report with --report, else
// one summary line unless quiet; the bytes after an end mark, which can be most of a
// file, always with their line.
std::string lossLines(const CommandLine& commandLine, const std::string& input,
                      const ConversionReport& report) {
    const std::string name = shownInput(input);
    if (commandLine.printReport) return reportLines(name, report, commandLine.maxReport);
    std::string lines;
    const ReportEntry* endMark = nullptr;
    for (const ReportEntry& entry : report.entries()) {
        if (entry.kind == ReportKind::AfterEndMark) endMark = &entry;
    }
    const bool onlyEndMark = endMark != nullptr && report.entries().size() == 1;
    if (!commandLine.quiet && !report.empty() && !onlyEndMark) {
        lines += "velmor-convert: " + name + ": " + lossSummary(report) + "\n";
    }
    if (endMark != nullptr)
        lines += "velmor-convert: " + name + ": " + endMarkText(*endMark) + "\n";
    return lines;
}

// Writes the JSON report to `path` ("-": standard output), a file as the outputs are
// written; false after telling why not. A closed reader of standard output sets
// `closedReader` instead, as for the converted text.
bool writeJson(const std::string& path, const RunReport& run, bool& closedReader) {
    const std::string json = reportJson(run);
    try {
        std::unique_ptr<OutputSink> sink = path == kStandardStream
                                               ? openStreamSink(STDOUT_FILENO, path, false)
                                               : openPathSink(path, -1, false);
        sink->write(json);
        sink->finish();
        return true;
    } catch (const EInOutError& error) {
        if (path == kStandardStream && error.SystemError == EPIPE) {
            closedReader = true;
            return true;
        }
        std::fprintf(stderr, "velmor-convert: %s: %s\n", shownOutput(error.FileName).c_str(),
                     ioFailureText(error).c_str());
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
            std::fprintf(stderr, "velmor-convert: %s: %s\n", kept.target.c_str(),
                         fill(tr("a write of this file was interrupted; its old content is kept "
                                 "in %1 (velmor-convert --restore-kept puts it back; removing "
                                 "that file drops it)"),
                              {kept.copy})
                             .c_str());
            continue;
        }
        try {
            restoreKeptFile(kept);
            std::fprintf(stderr, "velmor-convert: %s: %s\n", kept.target.c_str(),
                         fill(tr("old content put back from %1"), {kept.copy}).c_str());
        } catch (const EInOutError& error) {
            std::fprintf(stderr, "velmor-convert: %s: %s\n", error.FileName.c_str(),
                         ioFailureText(error).c_str());
            ok = false;
        } catch (const EAbort&) {
            return false;
        }
    }
    return ok;
}

// The files of the run, handed out to the workers in order. A file that failed for lack
// of memory or descriptors while others ran goes back for one more try: its worker
// stops, so that fewer files run at once, unless it is the last, which tries again.
class JobQueue {
  public:
    explicit JobQueue(std::size_t jobs) : retried_(jobs, false) {
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
    // Puts `job`, which ran short of memory or descriptors, back once. Returns false
    // when it was back already (its failure stands); sets `stop` when its worker is to
    // stop.
    bool putBack(std::size_t job, bool& stop) {
        std::lock_guard lock(mutex_);
        if (retried_[job]) return false;
        retried_[job] = true;
        waiting_.push_front(job);
        stop = workers_ > 1;
        if (stop) --workers_;
        return true;
    }
    void workerStopped() {
        std::lock_guard lock(mutex_);
        --workers_;
    }

  private:
    std::mutex mutex_;
    std::deque<std::size_t> waiting_;
    std::vector<bool> retried_;
    std::size_t workers_ = 0;
};

// Ends the program as a filter whose reader went away ends: by SIGPIPE, once every
// other file is done and nothing is left behind.
[[noreturn]] void endByClosedReader() {
    std::fflush(stderr);
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::sigprocmask(SIG_UNBLOCK, &pipe, nullptr);
    ::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);
}

int run(const CommandLine& commandLine) {
    const auto& jobs = commandLine.jobs;
    Progress bytes(totalInputBytes(jobs));
    ProgressLine progress(!commandLine.quiet && ::isatty(STDERR_FILENO), jobs.size(), bytes);
    JobQueue queue(jobs.size());
    std::mutex resultsMutex;
    bool anyFailed = false;
    bool closedReader = false;
    std::size_t lossy = 0;
    RunReport run{commandLine.settings.direction, commandLine.settings.utf8,
                  commandLine.settings.check,     commandLine.gaijiPath,
                  commandLine.gaiji.size(),       {}};
    run.files.resize(jobs.size());
    auto worker = [&] {
        for (std::size_t i; queue.take(i);) {
            FileResult result = convertFile(jobs[i], commandLine.settings, &bytes);
            if (stopSignal() != 0) break;  // given up, not failed: the run's status tells
            bool stop = false;
            if (result.resourcesShort && jobs[i].input != kStandardStream &&
                queue.putBack(i, stop)) {
                if (stop) return;
                continue;
            }
            const bool converted = result.outcome == FileOutcome::Converted;
            if (converted) {
                std::string lines = lossLines(commandLine, jobs[i].input, result.report);
                if (!lines.empty()) {
                    lines.pop_back();
                    progress.tell(lines);
                }
            } else if (!result.closedReader) {
                progress.tell(failureLine(result));
            }
            {
                std::lock_guard lock(resultsMutex);
                lossy += converted && !result.report.empty();
                anyFailed = anyFailed || (!converted && !result.closedReader);
                closedReader = closedReader || result.closedReader;
                run.files[i] = {jobs[i], std::move(result)};
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
    if (!commandLine.gaijiPath.empty() && !commandLine.quiet) {
        progress.tell("velmor-convert: " +
                      gaijiInUseText(commandLine.gaijiPath, commandLine.gaiji.size()));
    }
    if (!commandLine.reportJson.empty() && !writeJson(commandLine.reportJson, run, closedReader)) {
        if (const int signal = stopSignal()) return 128 + signal;
        anyFailed = true;
    }
    if (closedReader) endByClosedReader();
    const bool check = commandLine.settings.check;
    if (check && anyFailed && lossy > 0) {
        // Status 1 hides the 3 of the files that would lose something: say so.
        progress.tell("velmor-convert: " +
                      fill(trn("%1 file would lose something; the status is 1 for the refused "
                               "or failed ones",
                               "%1 files would lose something; the status is 1 for the refused "
                               "or failed ones",
                               lossy),
                           {std::to_string(lossy)}));
    }
    if (anyFailed) return kExitSomeFailed;
    return check && lossy > 0 ? kExitWouldLose : kExitConverted;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything is opened, so that no file gets the descriptor of a closed
    // standard stream and what is meant for it.
    guardStandardStreams();
    installStopSignals(OnStop::ExitStatus);
    setUpMessages();
    CommandLine commandLine;
    if (auto status = parseCommandLine(argc, argv, commandLine)) return *status;
    // A closed reader of an output shows as a failed write of that file, not a signal,
    // so that the other files are finished and nothing is left half written; the
    // signal comes at the end (endByClosedReader).
    ::signal(SIGPIPE, SIG_IGN);
    try {
        const bool kept = dealWithKeptFiles(commandLine.restoreKept);
        if (const int signal = stopSignal()) return 128 + signal;
        if (commandLine.restoreKept) return kept ? kExitConverted : kExitSomeFailed;
        return run(commandLine);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velmor-convert: %s\n", tr("out of memory"));
    }
    return kExitSomeFailed;
}
