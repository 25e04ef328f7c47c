#include "options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "document/filepaths.h"
#include "document/syscalls.h"
#include "document/threads.h"

namespace velmor {

namespace {

constexpr char kVersion[] = "velmor-convert 1.1";
constexpr char kProgram[] = "velmor-convert";

// A mistake in what was asked: told on standard error, ends with status 2.
struct UsageError {
    std::string message;
};

struct RawOptions {
    bool toSjis = false;
    bool toVelmor = false;
    std::string output;
    std::string suffix;
    bool hasSuffix = false;
    bool inPlace = false;
    std::vector<std::string> inputs;
};

bool isFolder(const std::string& path) {
    struct stat st;
    return sys::calls().stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The last part of a path: where an output into a folder takes its name.
std::string bareName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string identityOf(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

// What tells two paths to one file apart from two files: an existing file's device
// and inode (so "a.txt", "./a.txt" and another name of it are one), else its folder's
// and its name, else the path itself.
std::string fileIdentity(const std::string& path) {
    struct stat st;
    if (sys::calls().stat(path.c_str(), &st) == 0) return identityOf(st);
    if (sys::calls().stat(folderOf(path).c_str(), &st) == 0) {
        return identityOf(st) + "/" + bareName(path);
    }
    return path;
}

// The same for "-", the standard stream `fd`: the regular file it is, or the stream.
std::string fileIdentity(const std::string& path, int fd) {
    struct stat st;
    if (path != kStandardStream) return fileIdentity(path);
    if (sys::calls().fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return identityOf(st);
    return "-" + std::to_string(fd);
}

// Refuses an output written over another file's input, and a report that names an
// input or an output: one file of the run would be lost to another.
void refuseOverlaps(const std::vector<FileJob>& jobs, const std::string& reportJson) {
    std::map<std::string, std::size_t> inputs;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        inputs.emplace(fileIdentity(jobs[i].input, STDIN_FILENO), i);
    }
    std::set<std::string> outputs;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].output.empty()) continue;  // --check writes nothing
        const std::string output = fileIdentity(jobs[i].output, STDOUT_FILENO);
        outputs.insert(output);
        const auto input = inputs.find(output);
        if (input != inputs.end() && input->second != i) {
            throw UsageError{jobs[i].output + " would be written over the input " +
                             jobs[input->second].input};
        }
    }
    if (reportJson.empty()) return;
    const std::string report = fileIdentity(reportJson, STDOUT_FILENO);
    if (inputs.count(report) != 0 || outputs.count(report) != 0) {
        throw UsageError{"--report-json " + reportJson + " names an input or an output"};
    }
}

std::string outputInFolder(const std::string& folder, const std::string& input) {
    if (input == kStandardStream)
        throw UsageError{"standard input has no name to write into a folder"};
    return folder + (folder.ends_with('/') ? "" : "/") + bareName(input);
}

std::vector<FileJob> planJobs(const RawOptions& raw) {
    const auto& inputs = raw.inputs;
    const bool several = inputs.size() > 1;
    const bool readsStdin = std::count(inputs.begin(), inputs.end(), kStandardStream) > 0;
    if (std::count(inputs.begin(), inputs.end(), kStandardStream) > 1) {
        throw UsageError{"standard input (-) can be read only once"};
    }
    std::vector<FileJob> jobs;
    if (raw.inPlace) {
        if (readsStdin) throw UsageError{"--in-place cannot replace standard input"};
        for (const auto& input : inputs) jobs.push_back({input, input});
    } else if (raw.hasSuffix) {
        if (readsStdin) throw UsageError{"--suffix needs a named input, not standard input"};
        if (raw.suffix.empty()) {
            throw UsageError{"--suffix '' would write each output over its input; use --in-place"};
        }
        for (const auto& input : inputs) jobs.push_back({input, input + raw.suffix});
    } else if (!raw.output.empty() && raw.output != kStandardStream && isFolder(raw.output)) {
        for (const auto& input : inputs) jobs.push_back({input, outputInFolder(raw.output, input)});
    } else if (several) {
        if (raw.output.empty())
            throw UsageError{"several inputs need -o FOLDER, --suffix or --in-place"};
        throw UsageError{"-o " + raw.output + ": not an existing folder (several inputs)"};
    } else {
        jobs.push_back({inputs.front(), raw.output.empty() ? kStandardStream : raw.output});
    }
    std::set<std::string> outputs;
    for (const auto& job : jobs) {
        if (!outputs.insert(fileIdentity(job.output)).second) {
            throw UsageError{"two inputs would be written to " + job.output};
        }
    }
    return jobs;
}

}  // namespace

std::optional<int> parseCommandLine(int argc, char** argv, CommandLine& commandLine) {
    RawOptions raw;
    unsigned jobs = static_cast<unsigned>(hardwareThreads());
    CLI::App app{
        "Converts text files between VELMOR and Shift-JIS, as velmor-kanji does.\n"
        "Exit: 0 done, 1 a file refused or failed, 2 usage error, 3 --check saw losses.",
        kProgram};
    app.get_formatter()->column_width(22);
    // Not listed in the help it shows, so that the help fits a screen.
    app.set_help_flag("-h,--help", "print this help")->group("");
    app.add_flag("--to-sjis", raw.toSjis, "convert VELMOR to Shift-JIS");
    app.add_flag("--to-velmor", raw.toVelmor, "convert Shift-JIS to VELMOR");
    auto* output = app.add_option("-o,--output", raw.output,
                                  "output file (- = standard output); a folder for several")
                       ->type_name("PATH");
    auto* suffix = app.add_option("--suffix", raw.suffix, "write each output as INPUT + SUFFIX")
                       ->type_name("SUFFIX");
    app.add_flag("--in-place", raw.inPlace, "replace each input with its output");
    app.add_flag("--force", commandLine.settings.policy.force,
                 "convert Shift-JIS that already holds kanji-in sequences");
    app.add_option("-j,--jobs", jobs, "files converted at the same time (default: cores)")
        ->type_name("N");
    app.add_flag("-q,--quiet", commandLine.quiet, "no progress line");
    std::string gaijiPath;
    app.add_option("--gaiji", gaijiPath, "the gaiji table to convert with")->type_name("FILE");
    app.add_flag("--report", commandLine.printReport,
                 "print each loss as PATH:LINE:COLUMN: KIND: message");
    app.add_option("--max-report", commandLine.maxReport,
                   "--report: at most N entries of a kind a file (default 20)")
        ->type_name("N");
    app.add_option("--report-json", commandLine.reportJson, "write every file's report as JSON")
        ->type_name("FILE");
    app.add_flag("--check", commandLine.settings.check,
                 "write nothing; exit 3 when any file would lose something");
    app.add_flag("--strict", commandLine.settings.policy.strict,
                 "convert only the files that would lose nothing");
    app.add_flag("--restore-kept", commandLine.restoreKept,
                 "put back the old content an interrupted run kept");
    app.add_option("INPUT", raw.inputs, "files to convert; - reads standard input")->type_name("");
    app.set_version_flag("--version", kVersion);
    try {
        app.parse(argc, argv);
        if (commandLine.restoreKept) {
            if (static_cast<std::size_t>(argc) != 2 + app.count("--quiet")) {
                throw UsageError{"--restore-kept takes nothing but --quiet"};
            }
            return std::nullopt;
        }
        if (raw.inputs.empty()) throw UsageError{"INPUT is required"};
        raw.hasSuffix = suffix->count() > 0;
        if (raw.toSjis == raw.toVelmor) throw UsageError{"choose one of --to-sjis and --to-velmor"};
        if ((output->count() > 0) + raw.hasSuffix + raw.inPlace > 1) {
            throw UsageError{"choose at most one of -o, --suffix and --in-place"};
        }
        if (output->count() > 0 && raw.output.empty()) throw UsageError{"-o needs a path"};
        if (jobs == 0) throw UsageError{"-j needs at least 1"};
        commandLine.settings.direction = raw.toSjis ? Direction::ToSjis : Direction::ToVelmor;
        commandLine.settings.inPlace = raw.inPlace;
        if (commandLine.settings.check) {
            if (commandLine.settings.policy.strict)
                throw UsageError{"choose one of --check and --strict"};
            for (const auto& input : raw.inputs) commandLine.jobs.push_back({input, ""});
        } else {
            commandLine.jobs = planJobs(raw);
        }
        refuseOverlaps(commandLine.jobs, commandLine.reportJson);
        if (commandLine.settings.policy.strict &&
            std::count(raw.inputs.begin(), raw.inputs.end(), std::string(kStandardStream)) > 0) {
            throw UsageError{"--strict reads each input twice: it needs named inputs"};
        }
        commandLine.settings.report = commandLine.printReport || commandLine.settings.check ||
                                      commandLine.settings.policy.strict ||
                                      !commandLine.reportJson.empty();
        if (!gaijiPath.empty()) {
            commandLine.gaiji = loadGaijiTable(gaijiPath);
            commandLine.gaijiTables = std::make_shared<const GaijiPairTables>(commandLine.gaiji);
            commandLine.settings.gaiji = &commandLine.gaiji;
            commandLine.settings.tables = commandLine.gaijiTables->tables();
        }
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? kExitConverted : kExitUsage;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "%s: %s\nRun with --help for more information.\n", kProgram,
                     error.message.c_str());
        return kExitUsage;
    } catch (const Exception& error) {
        // The gaiji table: a file error or a bad line, which names the file and line.
        std::fprintf(stderr, "%s: %s\n", kProgram, error.message().c_str());
        return kExitUsage;
    }
    commandLine.parallelFiles =
        static_cast<unsigned>(std::min<std::size_t>(jobs, commandLine.jobs.size()));
    // A file in flight holds about a dozen pieces' worth (read ahead, loaded,
    // converted, being written), so pieces shrink as more files are converted at once
    // and the whole stays near 50 MB up to 16 files.
    commandLine.settings.chunkBytes =
        std::clamp<std::size_t>((4u << 20) / commandLine.parallelFiles, 256u << 10, 2u << 20);
    return std::nullopt;
}

}  // namespace velmor
