#include "options.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <set>

#include "commands/usergaiji.h"
#include "document/filepaths.h"
#include "document/syscalls.h"
#include "document/threads.h"
#include "i18n.h"
#include "texts.h"

namespace velmor {

namespace {

constexpr char kVersion[] = "velmor-convert 1.1";
constexpr char kProgram[] = "velmor-convert";
constexpr char kNoGaijiTable[] = "none";

// A mistake in what was asked: told on standard error, ends with status 2.
struct UsageError {
    std::string message;
};

struct RawOptions {
    bool toSjis = false;
    bool toVelmor = false;
    bool toUtf8 = false;
    bool fromUtf8 = false;
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

// A pipe, FIFO or device: read only once, as standard input is.
bool isStream(const std::string& path) {
    struct stat st;
    if (path == kStandardStream) return true;
    return sys::calls().stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
           !S_ISDIR(st.st_mode);
}

// The last part of a path: where an output into a folder takes its name.
std::string bareName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string identityOf(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

// What tells two paths to one file apart from two files, for a file whose content
// writing could lose: a regular file's device and inode (so "a.txt", "./a.txt" and
// another name of it are one), a file not there yet its folder's and its name. "-"
// is the standard stream `fd`, which may be a regular file redirected. Empty for a
// stream (a pipe, FIFO, terminal, device), which is written straight through and
// loses nothing to another file of the run.
std::string fileIdentity(const std::string& path, int fd) {
    struct stat st;
    if (path == kStandardStream) {
        return sys::calls().fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? identityOf(st) : "";
    }
    if (sys::calls().stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode) ? identityOf(st) : "";
    if (sys::calls().stat(folderOf(path).c_str(), &st) == 0) {
        return identityOf(st) + "/" + bareName(path);
    }
    return path;
}

std::string outputInFolder(const std::string& folder, const std::string& input) {
    if (input == kStandardStream) {
        throw UsageError{tr("standard input has no name to write into a folder")};
    }
    return folder + (folder.ends_with('/') ? "" : "/") + bareName(input);
}

// Refuses, before anything is written, a run in which writing one file would lose
// another, under any of their names, standard input and output included: an output
// that is its own input (unless `inPlace`), an output that is another input of the
// run, two inputs with one output, and a --report-json file that is an input or an
// output. --report-json - beside an output on standard output would mix the two.
void refuseCollisions(const std::vector<FileJob>& jobs, const ConvertSettings& settings,
                      bool inPlace, const std::string& reportJson) {
    std::vector<std::string> inputs;
    for (const auto& job : jobs) inputs.push_back(fileIdentity(job.input, settings.standardInput));
    std::set<std::string> outputs;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::string& output = jobs[i].output;
        if (output.empty()) continue;  // --check writes nothing
        if (output == kStandardStream && reportJson == kStandardStream) {
            throw UsageError{
                tr("--report-json - would mix the report into the converted text on standard "
                   "output; name a file")};
        }
        const std::string identity = fileIdentity(output, settings.standardOutput);
        if (identity.empty()) continue;
        if (!outputs.insert(identity).second) {
            throw UsageError{fill(tr("two inputs would be written to %1"), {output})};
        }
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            if (inputs[k] != identity || (k == i && inPlace)) continue;
            const std::string& input = jobs[k].input;
            if (k != i) {
                throw UsageError{fill(tr("%1 would be written over the input %2 before it is read"),
                                      {shownOutput(output), shownInput(input)})};
            }
            if (input == kStandardStream || output == kStandardStream) {
                throw UsageError{fill(tr("%1 and %2 are the same file: the input would be lost; "
                                         "--in-place FILE replaces a file with its output"),
                                      {shownInput(input), shownOutput(output)})};
            }
            throw UsageError{
                fill(tr("%1 would be written over its own input; use --in-place"), {output})};
        }
    }
    if (reportJson.empty() || reportJson == kStandardStream) return;
    const std::string report = fileIdentity(reportJson, settings.standardOutput);
    if (report.empty()) return;
    if (outputs.count(report) != 0 ||
        std::find(inputs.begin(), inputs.end(), report) != inputs.end()) {
        throw UsageError{fill(tr("--report-json %1 would be written over an input or an output "
                                 "of the run"),
                              {reportJson})};
    }
}

std::vector<FileJob> planJobs(const RawOptions& raw) {
    const auto& inputs = raw.inputs;
    const bool several = inputs.size() > 1;
    const bool readsStdin = std::count(inputs.begin(), inputs.end(), kStandardStream) > 0;
    if (std::count(inputs.begin(), inputs.end(), kStandardStream) > 1) {
        throw UsageError{tr("standard input (-) can be read only once")};
    }
    std::vector<FileJob> jobs;
    if (raw.inPlace) {
        if (readsStdin) throw UsageError{tr("--in-place cannot replace standard input")};
        for (const auto& input : inputs) {
            if (isStream(input)) {
                throw UsageError{
                    fill(tr("--in-place cannot replace %1: not a regular file"), {input})};
            }
            jobs.push_back({input, input});
        }
    } else if (raw.hasSuffix) {
        if (readsStdin) throw UsageError{tr("--suffix needs a named input, not standard input")};
        if (raw.suffix.empty()) {
            throw UsageError{
                tr("--suffix '' would write each output over its input; use --in-place")};
        }
        for (const auto& input : inputs) jobs.push_back({input, input + raw.suffix});
    } else if (!raw.output.empty() && raw.output != kStandardStream && isFolder(raw.output)) {
        for (const auto& input : inputs) jobs.push_back({input, outputInFolder(raw.output, input)});
    } else if (several) {
        if (raw.output.empty())
            throw UsageError{tr("several inputs need -o FOLDER, --suffix or --in-place")};
        throw UsageError{fill(tr("-o %1: not an existing folder (several inputs)"), {raw.output})};
    } else {
        jobs.push_back({inputs.front(), raw.output.empty() ? kStandardStream : raw.output});
    }
    return jobs;
}

// A count given on the command line: digits only, so that "-1" is no count.
std::size_t countOption(const std::string& name, const std::string& text) {
    const bool digits =
        !text.empty() && text.size() <= 9 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits)
        throw UsageError{fill(tr("%1 needs a number of 0 or more, not \"%2\""), {name, text})};
    return std::stoul(text);
}

// The gaiji table to use: --gaiji FILE, none with --gaiji none, else the window's
// when it exists.
void chooseGaijiTable(const std::string& option, CommandLine& commandLine) {
    std::string path = option;
    if (path == kNoGaijiTable) return;
    if (path.empty()) {
        path = userGaijiTablePath();
        struct stat st;
        if (path.empty() || sys::calls().stat(path.c_str(), &st) != 0) return;
    }
    commandLine.gaiji = loadGaijiTable(path);
    if (commandLine.gaiji.empty()) return;
    commandLine.gaijiPath = path;
    commandLine.gaijiTables = std::make_shared<const GaijiPairTables>(commandLine.gaiji);
    commandLine.settings.gaiji = &commandLine.gaiji;
    commandLine.settings.tables = commandLine.gaijiTables->tables();
}

// The help in the user's language, with usage lines that name the directions, and
// without the blank lines CLI11 puts before the options and at the end, so that it
// fits a screen.
class Help : public CLI::Formatter {
  public:
    Help() { column_width(22); }
    std::string make_group(std::string group, bool positional,
                           std::vector<const CLI::Option*> options) const override {
        std::string text = CLI::Formatter::make_group(std::move(group), positional, options);
        if (text.starts_with('\n')) text.erase(0, 1);
        return text;
    }
    std::string make_usage(const CLI::App*, std::string name) const override {
        return fill(tr("Usage: %1 --to-sjis|--to-velmor [OPTIONS] [INPUT...]\n"
                       "       %1 --to-utf8|--from-utf8 [OPTIONS] [INPUT...]"),
                    {name}) +
               "\n";
    }
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        std::string help = CLI::Formatter::make_help(app, std::move(name), mode);
        while (help.ends_with("\n\n")) help.pop_back();
        return help;
    }
};

}  // namespace

std::optional<int> parseCommandLine(int argc, char** argv, CommandLine& commandLine) {
    RawOptions raw;
    std::string jobsText, maxReportText, gaijiOption;
    bool keepLineEnds = false;
    CLI::App app{
        tr("Converts text between VELMOR and Shift-JIS or UTF-8 as velmor-kanji does; with\n"
           "no INPUT or -, standard input. Exit 0 done, 1 refused/failed, 2 usage, 3 loss."),
        kProgram};
    app.formatter(std::make_shared<Help>());
    app.allow_extras();
    app.option_defaults()->group(tr("Options"));
    app.set_help_flag("-h,--help", tr("show this help"));
    app.set_version_flag("-V,--version", kVersion, tr("show the version"));
    app.add_flag("--to-sjis", raw.toSjis, tr("convert VELMOR to Shift-JIS"));
    app.add_flag("--to-velmor", raw.toVelmor, tr("convert Shift-JIS to VELMOR"));
    app.add_flag("--to-utf8", raw.toUtf8, tr("convert VELMOR to UTF-8 (through Shift-JIS)"));
    app.add_flag("--from-utf8", raw.fromUtf8, tr("convert UTF-8 to VELMOR (through Shift-JIS)"));
    auto* output = app.add_option("-o,--output", raw.output,
                                  tr("output file (- = standard output); a folder for several"))
                       ->type_name("PATH");
    auto* suffix = app.add_option("--suffix", raw.suffix, tr("write each output as INPUT + SUFFIX"))
                       ->type_name("SUFFIX");
    app.add_flag("--in-place", raw.inPlace, tr("replace each input with its output"));
    app.add_flag("--keep-line-ends", keepLineEnds,
                 tr("keep each line's line end; add no line at the end"));
    app.add_flag("--force", commandLine.settings.policy.force,
                 tr("convert Shift-JIS that holds kanji-in sequences"));
    app.add_option("-j,--jobs", jobsText, tr("files converted at once (default: cores)"))
        ->type_name("N");
    app.add_flag("-q,--quiet", commandLine.quiet, tr("no progress line, no loss summaries"));
    app.add_option("--gaiji", gaijiOption,
                   tr("gaiji table to use, or none (default: the window's)"))
        ->type_name("FILE");
    app.add_flag("--report", commandLine.printReport,
                 tr("list each loss as PATH:LINE:COLUMN: KIND: message"));
    app.add_option("--max-report", maxReportText, tr("--report: at most N of a kind a file (20)"))
        ->type_name("N");
    app.add_option("--report-json", commandLine.reportJson, tr("write every file's report as JSON"))
        ->type_name("FILE");
    app.add_flag("--check", commandLine.settings.check,
                 tr("write nothing; exit 3 when anything would be lost"));
    app.add_flag("--strict", commandLine.settings.policy.strict,
                 tr("convert only the files that would lose nothing"));
    app.add_flag("--restore-kept", commandLine.restoreKept,
                 tr("put back the old content an interrupted run kept"));
    app.add_option("INPUT", raw.inputs)->group("")->type_name("");
    unsigned jobs = static_cast<unsigned>(hardwareThreads());
    try {
        app.parse(argc, argv);
        if (!app.remaining().empty()) {
            throw UsageError{fill(tr("unknown option: %1"), {app.remaining().front()})};
        }
        if (commandLine.restoreKept) {
            if (static_cast<std::size_t>(argc) != 2 + app.count("--quiet")) {
                throw UsageError{tr("--restore-kept takes no other option than -q, and no INPUT")};
            }
            return std::nullopt;
        }
        raw.hasSuffix = suffix->count() > 0;
        if (raw.inputs.empty()) raw.inputs.push_back(kStandardStream);
        if (raw.toSjis + raw.toVelmor + raw.toUtf8 + raw.fromUtf8 != 1) {
            throw UsageError{tr("choose one of --to-sjis, --to-velmor, --to-utf8 and --from-utf8")};
        }
        if ((output->count() > 0) + raw.hasSuffix + raw.inPlace > 1) {
            throw UsageError{tr("choose at most one of -o, --suffix and --in-place")};
        }
        if (output->count() > 0 && raw.output.empty()) throw UsageError{tr("-o needs a path")};
        if (!jobsText.empty()) jobs = static_cast<unsigned>(countOption("-j", jobsText));
        if (jobs == 0) throw UsageError{tr("-j needs at least 1")};
        if (!maxReportText.empty())
            commandLine.maxReport = countOption("--max-report", maxReportText);
        commandLine.settings.direction =
            raw.toSjis || raw.toUtf8 ? Direction::ToSjis : Direction::ToVelmor;
        commandLine.settings.utf8 = raw.toUtf8 || raw.fromUtf8;
        commandLine.settings.keepLineEnds = keepLineEnds;
        commandLine.settings.policy.emptyConverts = true;
        if (commandLine.settings.check) {
            if (commandLine.settings.policy.strict)
                throw UsageError{tr("choose one of --check and --strict")};
            for (const auto& input : raw.inputs) commandLine.jobs.push_back({input, ""});
        } else {
            commandLine.jobs = planJobs(raw);
        }
        refuseCollisions(commandLine.jobs, commandLine.settings, raw.inPlace,
                         commandLine.reportJson);
        if (commandLine.settings.policy.strict &&
            std::any_of(raw.inputs.begin(), raw.inputs.end(), isStream)) {
            throw UsageError{tr("--strict reads each input twice: it needs regular files")};
        }
        commandLine.settings.report =
            !commandLine.quiet || commandLine.printReport || commandLine.settings.check ||
            commandLine.settings.policy.strict || !commandLine.reportJson.empty();
        chooseGaijiTable(gaijiOption, commandLine);
    } catch (const CLI::Success& done) {
        app.exit(done);
        return kExitConverted;
    } catch (const CLI::ParseError& error) {
        // CLI11's own words are English: the common one in the user's language.
        const std::string what = error.what();
        const std::string message =
            dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr
                ? fill(tr("%1 needs a value"), {what.substr(0, what.find(':'))})
                : fill(tr("invalid command line: %1"), {what});
        std::fprintf(stderr, "%s: %s\n%s\n", kProgram, message.c_str(),
                     tr("Run with --help for more information."));
        return kExitUsage;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "%s: %s\n%s\n", kProgram, error.message.c_str(),
                     tr("Run with --help for more information."));
        return kExitUsage;
    } catch (const EGaijiTableError& error) {
        std::fprintf(
            stderr, "%s: %s\n", kProgram,
            fill(tr("%1; --gaiji none converts without a table"), {gaijiTableText(error)}).c_str());
        return kExitUsage;
    } catch (const EInOutError& error) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, error.FileName.c_str(),
                     fill(tr("gaiji table: %1"), {ioFailureText(error)}).c_str());
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
