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

// Writes the JSON report to `path` ("-": standard output); false after telling why not.
bool writeJson(const std::string& path, const std::vector<FileReport>& reports) {
    const std::string json = reportJson(reports);
    bool ok;
    if (path == kStandardStream) {
        ok = std::fwrite(json.data(), 1, json.size(), stdout) == json.size() &&
             std::fflush(stdout) == 0;
    } else {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ok = out != nullptr && std::fwrite(json.data(), 1, json.size(), out) == json.size();
        if (out != nullptr) ok = std::fclose(out) == 0 && ok;
    }
    if (!ok) std::fprintf(stderr, "velmor-convert: %s: %s\n", path.c_str(), std::strerror(errno));
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
    // The next file's index; false when none is left.
    bool take(std::size_t& job) {
        std::lock_guard lock(mutex_);
        if (waiting_.empty()) return false;
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
            bool stop = false;
            if (result.resourcesShort && jobs[i].input != kStandardStream &&
                queue.putBack(i, stop)) {
                if (stop) return;
                continue;
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
                              std::move(result.report), commandLine.settings.utf8};
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
    if (!commandLine.reportJson.empty() && !writeJson(commandLine.reportJson, reports)) {
        anyFailed = true;
    }
    if (anyFailed) return kExitSomeFailed;
    return commandLine.settings.check && anyLoss ? kExitWouldLose : kExitConverted;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine commandLine;
    if (auto status = parseCommandLine(argc, argv, commandLine)) return *status;
    // A closed standard output shows as a failed write of that file, not a signal.
    ::signal(SIGPIPE, SIG_IGN);
    try {
        return run(commandLine);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velmor-convert: %s\n", kMsgOutOfMemory);
    }
    return kExitSomeFailed;
}
