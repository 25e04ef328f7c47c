// velmor-bench: measuring and checking tools, one sub-command each.
#include <cstdio>
#include <cstring>

#include "convertcommand.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "convert") == 0) {
        return velmor::bench::runConvert(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "usage: velmor-bench convert --to-sjis|--to-velmor INPUT OUTPUT\n");
    return 2;
}
