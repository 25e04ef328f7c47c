#pragma once

namespace velmor::bench {

// velmor-bench cli [--size-mb N] [--corpus dense|prose|records] [--input FILE]
//                  [--runs N] [--folder DIR] [--convert PATH] (generated corpus:
//                  prose unless told): whole-process wall time and peak memory of
// velmor-convert both ways beside iconv, uconv and nkf on the same Shift-JIS
// bytes, and the floor of one write + fsync of the output. Returns the exit status.
int runCliBenchmark(int argc, char** argv);

}  // namespace velmor::bench
