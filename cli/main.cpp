// velmor-convert: converts files between VELMOR and Shift-JIS from the command
// line, with the bytes the window writes, several files at once.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "commands/convertfile.h"
#include "options.h"
#include "progress.h"

namespace {

using namespace velmor;

std::uint64_t totalInputBytes(const std::vector<FileJob>& jobs) {
    std::uint64_t total = 0;
    struct stat st;
    for (const auto& job : jobs) {
        if (job.input != kStandardStream && ::stat(job.input.c_str(), &st) == 0) {
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

}  // namespace

int main(int argc, char** argv) {
    CommandLine commandLine;
    if (auto status = parseCommandLine(argc, argv, commandLine)) return *status;
    // A closed standard output shows as a failed write of that file, not a signal.
    ::signal(SIGPIPE, SIG_IGN);

    const auto& jobs = commandLine.jobs;
    ProgressLine progress(!commandLine.quiet && ::isatty(STDERR_FILENO), jobs.size(),
                          totalInputBytes(jobs));
    std::atomic<std::size_t> nextJob{0};
    std::atomic<bool> anyFailed{false};
    auto worker = [&] {
        for (std::size_t i; (i = nextJob++) < jobs.size();) {
            FileResult result = convertFile(jobs[i], commandLine.settings, progress.bytesDone());
            if (result.outcome != FileOutcome::Converted) {
                anyFailed = true;
                progress.tell(failureLine(result));
            }
            progress.fileDone();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < commandLine.parallelFiles; ++k) workers.emplace_back(worker);
    worker();
    for (auto& thread : workers) thread.join();
    return anyFailed ? kExitSomeFailed : kExitConverted;
}
