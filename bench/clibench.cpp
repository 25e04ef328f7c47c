// The command-line figures: every tool runs as its own process on the same file,
// under GNU time, which gives each its peak resident memory.
#include "clibench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "corpus.h"
#include "measure.h"
#include "peers.h"

extern char** environ;

namespace velmor::bench {

namespace {

constexpr double kMb = 1024.0 * 1024.0;

struct ToolRun {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system, of all its threads
    double peakMb = 0;
};

// Runs `args` under /usr/bin/time with standard output going to `stdoutPath` (or
// nowhere when empty); returns its wall time and peak memory. Throws when it fails.
ToolRun runTool(const std::vector<std::string>& args, const std::string& stdoutPath,
                const std::string& timePath) {
    std::vector<std::string> full = {"/usr/bin/time", "-f", "%M %U %S", "-o", timePath};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : full) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                     stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto start = std::chrono::steady_clock::now();
    pid_t pid;
    int err = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(err));
    int status = 0;
    waitpid(pid, &status, 0);
    ToolRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(args[0] + " failed with status " + std::to_string(status));
    }
    std::ifstream times(timePath);
    double kb = 0, user = 0, system = 0;
    times >> kb >> user >> system;
    run.peakMb = kb / 1024.0;
    run.cpuSeconds = user + system;
    return run;
}

// The best wall time of `runs` runs, each after removing the last output, the CPU
// time of that run, and the largest peak memory seen.
ToolRun bestOf(int runs, const std::vector<std::string>& args, const std::string& output,
               const std::string& stdoutPath, const std::string& timePath) {
    ToolRun best{1e30, 0};
    for (int i = 0; i < runs; ++i) {
        std::filesystem::remove(output);
        ToolRun run = runTool(args, stdoutPath, timePath);
        if (run.seconds < best.seconds) {
            best.seconds = run.seconds;
            best.cpuSeconds = run.cpuSeconds;
        }
        best.peakMb = std::max(best.peakMb, run.peakMb);
    }
    return best;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int usage() {
    std::fprintf(stderr,
                 "usage: velmor-bench cli [--size-mb N] [--corpus dense|prose|records] "
                 "[--input FILE] [--runs N] [--folder DIR] [--convert PATH]\n");
    return 2;
}

}  // namespace

int runCliBenchmark(int argc, char** argv) {
    double sizeMb = 100;
    int runs = 3;
    CorpusKind corpus = CorpusKind::Prose;
    std::string input, folder = std::filesystem::temp_directory_path().string();
    // velmor-convert is built beside this program, in the build tree's cli folder.
    std::string convert =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "cli" /
         "velmor-convert")
            .string();
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) return usage();
        std::string value = argv[++i];
        if (option == "--size-mb") {
            sizeMb = std::stod(value);
        } else if (option == "--corpus") {
            auto kind = corpusKindNamed(value);
            if (!kind) return usage();
            corpus = *kind;
        } else if (option == "--input") {
            input = value;
        } else if (option == "--runs") {
            runs = std::stoi(value);
        } else if (option == "--folder") {
            folder = value;
        } else if (option == "--convert") {
            convert = value;
        } else {
            return usage();
        }
    }
    try {
        const std::string base = folder + "/velmor-clibench-" + std::to_string(::getpid());
        const std::string sjis = input.empty() ? base + ".sjis" : input;
        const std::string velmor = base + ".vel", out = base + ".out", timing = base + ".time";
        if (input.empty()) {
            writeAndSync(sjis, makeCorpus(corpus, static_cast<std::size_t>(sizeMb * kMb)));
        }
        // The VELMOR input is our own conversion of the Shift-JIS text.
        runTool({convert, "--to-velmor", "-q", "--force", "-o", velmor, sjis}, "", timing);
        const double inMb = static_cast<double>(std::filesystem::file_size(sjis)) / kMb;
        std::printf(
            "velmor-convert and peers, whole process, best of %d, on %.0f MB of "
            "Shift-JIS text\n%-34s %9s %9s %9s %9s\n",
            runs, inMb, "tool", "wall s", "MB/s", "cpu s", "peak MB");
        auto show = [&](const char* name, const ToolRun& run) {
            std::printf("%-34s %9.3f %9.0f %9.2f %9.1f\n", name, run.seconds, inMb / run.seconds,
                        run.cpuSeconds, run.peakMb);
        };
        show("velmor-convert --to-velmor",
             bestOf(runs, {convert, "--to-velmor", "-q", "--force", "-o", out, sjis}, out, "",
                    timing));
        show("velmor-convert --to-sjis",
             bestOf(runs, {convert, "--to-sjis", "-q", "-o", out, velmor}, out, "", timing));
        show("iconv -f CP932 -t EUC-JP-MS",
             bestOf(runs, {"iconv", "-f", "CP932", "-t", "EUC-JP-MS", "-o", out, sjis}, out, "",
                    timing));
        show("uconv -f cp932 -t euc-jp",
             bestOf(runs, {"uconv", "-f", "cp932", "-t", "euc-jp", "-o", out, sjis}, out, "",
                    timing));
        show("nkf -S -e", bestOf(runs, {"nkf", "-S", "-e", sjis}, out, out, timing));
        // The floor for any tool that puts its output safely on disk.
        const std::string bytes = readAll(velmor);
        double floor = medianSeconds(
            runs, [&] { std::filesystem::remove(out); }, [&] { writeAndSync(out, bytes); });
        std::printf("%-34s %9.3f\n", "one write + fsync of the output", floor);
        for (const auto& path : {velmor, out, timing}) std::filesystem::remove(path);
        if (input.empty()) std::filesystem::remove(sjis);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmor-bench cli: %s\n", e.what());
    }
    return 1;
}

}  // namespace velmor::bench
