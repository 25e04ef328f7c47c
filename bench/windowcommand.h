#pragma once

namespace velmor::bench {

// velmor-bench window --to-sjis|--to-velmor INPUT OUTPUT: the program's own main
// window (offscreen unless QT_QPA_PLATFORM says otherwise) opens INPUT as a file given
// on the command line, runs the chosen conversion from its menu and saves to OUTPUT
// through Save As, every question answered Yes. Prints the time from each command to
// the view painted after it, and the process's peak memory. Returns the exit status.
int runWindow(int argc, char** argv);

}  // namespace velmor::bench
