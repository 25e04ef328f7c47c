#pragma once

namespace velmor::bench {

// velmor-bench [--size-mb N] [--corpus dense|prose|records | --input FILE] [--runs N]
// [--view-lines N] [--json]: the whole benchmark, our phases beside iconv, memcpy and
// write+fsync on the same bytes, printed as a table or as one JSON object, which
// names the corpus. Returns the exit status.
int runBenchmark(int argc, char** argv);

// velmor-bench corpus [--corpus dense|prose|records] SIZE_MB OUTPUT: writes the
// generated corpus the benchmark uses, so that other tools can run on the same bytes.
int runCorpus(int argc, char** argv);

}  // namespace velmor::bench
