// velmor-convert: converts files between VELMOR and Shift-JIS from the command
// line, with the bytes the window writes, several files at once.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "commands/convertfile.h"
#include "commands/reporttexts.h"
#include "options.h"
#include "progress.h"
#include "reportoutput.h"

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

// --strict: converts the file only when a first pass finds nothing it would lose.
FileResult convertIfLossless(const FileJob& job, const ConvertSettings& settings,
                             ProgressLine& progress) {
    ConvertSettings check = settings;
    check.check = true;
    std::atomic<std::uint64_t> checked{0};
    FileResult result = convertFile(job, check, checked);
    if (result.outcome != FileOutcome::Converted) return result;
    if (!result.report.empty()) {
        result.outcome = FileOutcome::Refused;
        result.path = job.input;
        result.message = kMsgWouldLose;
        return result;
    }
    return convertFile(job, settings, progress.bytesDone());
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
    std::atomic<bool> anyLoss{false};
    std::vector<FileReport> reports(jobs.size());
    auto worker = [&] {
        for (std::size_t i; (i = nextJob++) < jobs.size();) {
            FileResult result =
                commandLine.strict
                    ? convertIfLossless(jobs[i], commandLine.settings, progress)
                    : convertFile(jobs[i], commandLine.settings, progress.bytesDone());
            if (!result.report.empty()) anyLoss = true;
            if (commandLine.printReport && !result.report.empty()) {
                std::string lines =
                    reportLines(jobs[i].input, result.report, commandLine.maxReport);
                lines.pop_back();
                progress.tell(lines);
            }
            if (result.outcome != FileOutcome::Converted) {
                anyFailed = true;
                progress.tell(failureLine(result));
            }
            reports[i] = {jobs[i].input, commandLine.settings.direction, std::move(result.report)};
            progress.fileDone();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < commandLine.parallelFiles; ++k) workers.emplace_back(worker);
    worker();
    for (auto& thread : workers) thread.join();
    if (!commandLine.reportJson.empty() && !writeJson(commandLine.reportJson, reports)) {
        anyFailed = true;
    }
    if (anyFailed) return kExitSomeFailed;
    return commandLine.settings.check && anyLoss ? kExitWouldLose : kExitConverted;
}
