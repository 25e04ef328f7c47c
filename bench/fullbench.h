#pragma once

namespace velmor::bench {

// velmor-bench [--size-mb N] [--input FILE] [--runs N] [--view-lines N] [--json]:
// the whole benchmark, our phases beside iconv, memcpy and write+fsync on the same
// bytes, printed as a table or as one JSON object. Returns the exit status.
int runBenchmark(int argc, char** argv);

// velmor-bench corpus SIZE_MB OUTPUT: writes the generated corpus the benchmark
// uses, so that other tools can be run on the same bytes.
int runCorpus(int argc, char** argv);

}  // namespace velmor::bench
