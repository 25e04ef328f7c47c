// velmor-bench: the whole benchmark without a sub-command, and measuring and
// checking tools, one sub-command each.
#include <cstring>

#include "clibench.h"
#include "convertcommand.h"
#include "document/standardstreams.h"
#include "fullbench.h"
#include "windowcommand.h"

int main(int argc, char** argv) {
    // Before anything is opened: no file it writes gets a closed standard stream's
    // descriptor, and what is printed never lands in one.
    velmor::guardStandardStreams();
    if (argc >= 2 && std::strcmp(argv[1], "convert") == 0) {
        return velmor::bench::runConvert(argc - 1, argv + 1);
    }
    if (argc >= 2 && std::strcmp(argv[1], "window") == 0) {
        return velmor::bench::runWindow(argc - 1, argv + 1);
    }
    if (argc >= 2 && std::strcmp(argv[1], "corpus") == 0) {
        return velmor::bench::runCorpus(argc - 1, argv + 1);
    }
    if (argc >= 2 && std::strcmp(argv[1], "cli") == 0) {
        return velmor::bench::runCliBenchmark(argc - 1, argv + 1);
    }
    return velmor::bench::runBenchmark(argc, argv);
}
