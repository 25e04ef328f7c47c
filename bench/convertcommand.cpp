#include "convertcommand.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "commands/conversioncommands.h"
#include "commands/filecommands.h"
#include "commands/messages.h"
#include "commands/usergaiji.h"
#include "commands/workspace.h"
#include "document/errors.h"
#include "measure.h"
#include "yesdialogs.h"

namespace velmor::bench {

namespace {

using Clock = std::chrono::steady_clock;

void printPhase(const char* phase, Clock::time_point from, Clock::time_point to) {
    std::printf("%-8s %10.3f ms\n", phase,
                std::chrono::duration<double, std::milli>(to - from).count());
}

int usage() {
    std::fprintf(
        stderr, "usage: velmor-bench convert [--gaiji TABLE] --to-sjis|--to-velmor INPUT OUTPUT\n");
    return 2;
}

}  // namespace

int runConvert(int argc, char** argv) {
    const char* gaijiTable = nullptr;
    if (argc == 6 && std::strcmp(argv[1], "--gaiji") == 0) {
        gaijiTable = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc != 4) return usage();
    void (*command)(Workspace&, UserDialogs&) = nullptr;
    if (std::strcmp(argv[1], "--to-sjis") == 0) {
        command = velmor_sjisClick;
    } else if (std::strcmp(argv[1], "--to-velmor") == 0) {
        command = sjis_velmorClick;
    } else {
        return usage();
    }

    Workspace ws;
    YesDialogs dialogs(true);
    try {
        if (gaijiTable != nullptr) useGaijiTable(ws, loadGaijiTable(gaijiTable));
        auto start = Clock::now();
        openFile(ws, argv[2]);
        auto loaded = Clock::now();
        command(ws, dialogs);
        auto converted = Clock::now();
        if (saveRefused(ws, dialogs)) return 1;
        saveFileAs(ws, argv[3]);
        auto saved = Clock::now();
        printPhase("load", start, loaded);
        printPhase("convert", loaded, converted);
        printPhase("save", converted, saved);
        std::printf("peak-rss %10.1f MB\n", peakRssMb());
        std::printf("report   %10zu entries\n", ws.report.entries().size());
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "velmor-bench: %s\n", e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velmor-bench: %s\n", kMsgOutOfMemory);
    }
    return 1;
}

}  // namespace velmor::bench
