#pragma once

namespace velmor::bench {

// velmor-bench convert --to-sjis|--to-velmor INPUT OUTPUT: opens INPUT as the
// program's Open does, runs the chosen conversion command and saves to OUTPUT as
// Save As does, timing each phase. Returns the process's exit status.
int runConvert(int argc, char** argv);

}  // namespace velmor::bench
