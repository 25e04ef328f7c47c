#pragma once

namespace velmor::bench {

// velmor-bench cli [--size-mb N] [--input FILE] [--runs N] [--folder DIR]
//                  [--convert PATH]: whole-process wall time and peak memory of
// velmor-convert both ways beside iconv, uconv and nkf on the same Shift-JIS
// bytes, and the floor of one write + fsync of the output. Returns the exit status.
int runCliBenchmark(int argc, char** argv);

}  // namespace velmor::bench
