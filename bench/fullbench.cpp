#include "fullbench.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "commands/conversioncommands.h"
#include "commands/workspace.h"
#include "corpus.h"
#include "document/errors.h"
#include "document/loadsave.h"
#include "measure.h"
#include "peers.h"
#include "report.h"
#include "support/tempfolder.h"
#include "viewphases.h"
#include "yesdialogs.h"

namespace velmor::bench {

namespace {

using testing::readFile;
using testing::writeFile;

struct Options {
    double sizeMb = 100;
    std::string input;
    CorpusKind corpus = CorpusKind::Dense;
    int runs = 5;
    std::size_t viewLines = 1'000'000;
    bool json = false;
};

int usage() {
    std::fprintf(stderr,
                 "usage: velmor-bench [--size-mb N] [--corpus dense|prose|records | --input FILE] "
                 "[--runs N] [--view-lines N] [--json]\n"
                 "       velmor-bench convert [--gaiji TABLE] --to-sjis|--to-velmor INPUT OUTPUT\n"
                 "       velmor-bench corpus [--corpus dense|prose|records] SIZE_MB OUTPUT\n"
                 "       velmor-bench window --to-sjis|--to-velmor INPUT OUTPUT\n"
                 "       velmor-bench cli [--size-mb N] [--corpus KIND] [--input FILE] [--runs N] "
                 "[--folder DIR] [--convert PATH]\n");
    return 2;
}

// Returns false on anything it does not understand.
bool parse(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        try {
            if (arg == "--json") {
                opt.json = true;
            } else if (arg == "--size-mb" && hasValue) {
                opt.sizeMb = std::stod(argv[++i]);
            } else if (arg == "--corpus" && hasValue) {
                std::optional<CorpusKind> kind = corpusKindNamed(argv[++i]);
                if (!kind) return false;
                opt.corpus = *kind;
            } else if (arg == "--input" && hasValue) {
                opt.input = argv[++i];
            } else if (arg == "--runs" && hasValue) {
                opt.runs = std::stoi(argv[++i]);
            } else if (arg == "--view-lines" && hasValue) {
                opt.viewLines = std::stoul(argv[++i]);
            } else {
                return false;
            }
        } catch (const std::logic_error&) {
            return false;  // not a number
        }
    }
    return opt.sizeMb > 0 && opt.runs > 0 && opt.viewLines > 0;
}

// Keeps the compiler from dropping a copy whose result is never read.
void keep(void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

class Benchmark {
  public:
    explicit Benchmark(const Options& opt) : opt_(opt) { report_.runs = opt.runs; }

    Report run() {
        prepareInput();
        measureLoad();
        measureConversions();
        measureSave();
        measureView();
        measurePeers();
        measureFreshProcess();
        report_.peakRssMb = overallPeak_;
        return std::move(report_);
    }

  private:
    template <class Setup, class Body>
    Phase& phase(const std::string& name, std::size_t bytes, Setup&& setup, Body&& body) {
        if (!resetPeakRss()) peakNotReset_ = true;
        double seconds = medianSeconds(opt_.runs, setup, body);
        double peak = peakRssMb();
        overallPeak_ = std::max(overallPeak_, peak);
        report_.phases.push_back({name, seconds, bytes, peak, std::nullopt});
        return report_.phases.back();
    }

    void prepareInput() {
        if (opt_.input.empty()) {
            auto size = static_cast<std::size_t>(opt_.sizeMb * kMb);
            path_ = scratch_ / "corpus.txt";
            writeFile(path_, makeCorpus(opt_.corpus, size));
            report_.corpus = corpusName(opt_.corpus);
        } else {
            path_ = opt_.input;
            report_.corpus = opt_.input;
        }
        fileBytes_ = readFile(path_).size();
        report_.sizeMb = static_cast<double>(fileBytes_) / kMb;
    }

    void measureLoad() {
        std::unique_ptr<Document> doc;
        phase(
            "load", fileBytes_,
            [&] {
                doc.reset();
                doc = std::make_unique<Document>();
            },
            [&] { memo1set(*doc, path_); });
        sjisText_ = doc->WholeText();
    }

    // Times `command` on a fresh workspace holding `text`; returns the text it leaves.
    std::string convert(const std::string& name, const std::string& text,
                        void (*command)(Workspace&, UserDialogs&)) {
        std::unique_ptr<Workspace> ws;
        YesDialogs dialogs;
        phase(
            name, text.size(),
            [&] {
                ws.reset();
                ws = std::make_unique<Workspace>();
                ws->document.ReplaceText(text);
                ws->document.SetModifiedMark(false);
            },
            [&] { command(*ws, dialogs); });
        if (!dialogs.notices.empty()) {
            throw std::runtime_error("the command refused: " + dialogs.notices.front());
        }
        if (dialogs.questions > 0) {
            report_.notes.push_back(name +
                                    ": the text holds a kanji-in sequence; the question "
                                    "whether to convert anyway was answered Yes");
        }
        return ws->document.WholeText();
    }

    void measureConversions() {
        velmorText_ = convert("sjis_to_velmor", sjisText_, sjis_velmorClick);
        std::string back = convert("velmor_to_sjis", velmorText_, velmor_sjisClick);
        report_.notes.push_back(back == sjisText_
                                    ? "round trip SJIS->VELMOR->SJIS gives back the loaded text"
                                    : "round trip SJIS->VELMOR->SJIS differs from the loaded text");
    }

    void measureSave() {
        Document doc;
        doc.ReplaceText(sjisText_);
        const std::string saved = scratch_ / "saved.txt";
        phase(
            "save", sjisText_.size(), [&] { ::unlink(saved.c_str()); },
            [&] { memo1_get_out(doc, saved); });
        savedBytes_ = readFile(saved);
        ::unlink(saved.c_str());
    }

    void measureView() {
        if (!resetPeakRss()) peakNotReset_ = true;
        ViewTimes v = bench::measureView(sjisText_, path_, opt_.viewLines, opt_.runs);
        double peak = peakRssMb();
        overallPeak_ = std::max(overallPeak_, peak);
        report_.phases.push_back({"open", v.openSeconds, fileBytes_, peak, std::nullopt});
        report_.phases.push_back(
            {"view_index", v.indexSeconds, v.documentBytes, peak, std::nullopt});
        report_.phases.push_back(
            {"view_paint_top", v.paintTopSeconds, v.paintTopBytes, peak, std::nullopt});
        report_.phases.push_back(
            {"view_paint_bottom", v.paintBottomSeconds, v.paintBottomBytes, peak, std::nullopt});
        report_.notes.push_back("view: a Document of " + std::to_string(opt_.viewLines) +
                                " lines, one 1920x1080 screen painted offscreen; open is load, "
                                "line index and first paint of the input file");
    }

    void measurePeers() {
        std::string euc, back;
        std::size_t rejected = 0;
        phase(
            "iconv_to_eucjpms", sjisText_.size(),
            [&] { euc.resize(iconvBufferSize(sjisText_.size())); },
            [&] { rejected = iconvConvert("EUC-JP-MS", "CP932", sjisText_, euc); });
        if (rejected > 0) {
            report_.notes.push_back("iconv rejected " + std::to_string(rejected) +
                                    " bytes of the Shift-JIS text and copied them as they were");
        }
        phase(
            "iconv_from_eucjpms", euc.size(), [&] { back.resize(iconvBufferSize(euc.size())); },
            [&] { iconvConvert("CP932", "EUC-JP-MS", euc, back); });
        if (rejected == 0 && back != sjisText_) {
            report_.notes.push_back("iconv's round trip differs from the loaded text");
        }
        setVsIconv("sjis_to_velmor", "iconv_to_eucjpms");
        setVsIconv("velmor_to_sjis", "iconv_from_eucjpms");

        std::string copy(sjisText_.size(), '\0');
        phase(
            "memcpy", sjisText_.size(), [] {},
            [&] {
                std::memcpy(copy.data(), sjisText_.data(), sjisText_.size());
                keep(copy.data());
            });

        const std::string floor = scratch_ / "floor.txt";
        phase(
            "write_fsync", savedBytes_.size(), [&] { ::unlink(floor.c_str()); },
            [&] { writeAndSync(floor, savedBytes_); });
        ::unlink(floor.c_str());
        const Phase* save = report_.find("save");
        const Phase* writeFsync = report_.find("write_fsync");
        char note[128];
        std::snprintf(note, sizeof note, "save takes %.2fx the time of one write and one fsync",
                      save->seconds / writeFsync->seconds);
        report_.notes.push_back(note);
        if (peakNotReset_) {
            report_.notes.push_back("the peak RSS could not be reset between phases");
        }
    }

    void setVsIconv(const std::string& ours, const std::string& peer) {
        Phase* p = nullptr;
        for (Phase& candidate : report_.phases) {
            if (candidate.name == ours) p = &candidate;
        }
        const Phase* q = report_.find(peer);
        if (p != nullptr && q != nullptr)
            p->vsIconv = report_.mbPerSecond(*p) / report_.mbPerSecond(*q);
    }

    // Load, one conversion and save in a process of their own, so that nothing of
    // the benchmark's own data counts in the peak: once through the commands alone,
    // once through the program's window.
    void measureFreshProcess() {
        const std::string out = scratch_ / "fresh.txt";
        const std::string printed = scratch_ / "fresh.out";
        const auto figure = [](const std::string& lines, const char* name) {
            std::size_t at = lines.find(name);
            if (at == std::string::npos) {
                throw std::runtime_error(std::string("velmor-bench gave no ") + name);
            }
            return std::stod(lines.substr(at + std::strlen(name)));
        };
        std::string lines = runSelf({"convert", "--to-velmor", path_, out}, printed);
        report_.openConvertSavePeakRssMb = figure(lines, "peak-rss");
        report_.openConvertSaveLimitMb = 1.3 * static_cast<double>(fileBytes_) / kMb;
        ::unlink(out.c_str());
        lines = runSelf({"window", "--to-velmor", path_, out}, printed);
        report_.windowOpenMs = figure(lines, "open");
        report_.windowConvertMs = figure(lines, "convert");
        report_.windowSaveMs = figure(lines, "save");
        report_.windowPeakRssMb = figure(lines, "peak-rss");
        ::unlink(out.c_str());
        ::unlink(printed.c_str());
    }

    Options opt_;
    Report report_;
    testing::TempFolder scratch_;
    std::string path_;
    std::size_t fileBytes_ = 0;
    std::string sjisText_, velmorText_, savedBytes_;
    double overallPeak_ = 0;
    bool peakNotReset_ = false;
};

}  // namespace

int runBenchmark(int argc, char** argv) {
    Options opt;
    if (!parse(argc, argv, opt)) return usage();
    try {
        Report report = Benchmark(opt).run();
        opt.json ? printJson(report) : printTable(report);
        return 0;
    } catch (const std::exception& e) {  // Exception (a file error) included
        std::fprintf(stderr, "velmor-bench: %s\n", e.what());
    }
    return 1;
}

int runCorpus(int argc, char** argv) {
    CorpusKind kind = CorpusKind::Dense;
    if (argc == 5 && std::strcmp(argv[1], "--corpus") == 0) {
        std::optional<CorpusKind> named = corpusKindNamed(argv[2]);
        if (!named) return usage();
        kind = *named;
        argc -= 2;
        argv += 2;
    }
    double sizeMb = 0;
    try {
        if (argc == 3) sizeMb = std::stod(argv[1]);
    } catch (const std::logic_error&) {
        return usage();  // not a number
    }
    if (sizeMb <= 0) return usage();
    try {
        writeFile(argv[2], makeCorpus(kind, static_cast<std::size_t>(sizeMb * kMb)));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmor-bench: %s\n", e.what());
    }
    return 1;
}

}  // namespace velmor::bench
