#pragma once

namespace velmor {

// SIGINT, SIGTERM and SIGHUP ask the program to stop. While no write that a stop
// must undo is under way, the program ends at once; else the signal is noted, the
// writes see it at their next step and give their output up (a file written in
// place gets its old content back, a new file goes), and the program ends after.
enum class OnStop {
    ExitStatus,  // end with status 128 + the signal's number (velmor-convert)
    Signal,      // end by the signal itself, as without a handler (the window)
};

// Installs the handlers for the three signals.
void installStopSignals(OnStop how);

// The signal that asked the program to stop while a write was under way; 0 when none.
int stopSignal();

// Throws EAbort once a stop signal arrived: the step ends as a cancelled one does.
void checkStopSignal();

// Ends the program as the installed handler would, when a stop signal arrived;
// nothing otherwise. Called once the writes it waited for are undone or complete.
void endIfStopped();

// Marks a write that a stop must undo, from its first file made to its last one
// removed or put in place: while one is marked, a stop signal does not end the
// program at once.
void beginUndoableWrite();
void endUndoableWrite();

// Marks the calling thread as waiting on a pipe or terminal (the standard streams)
// for its lifetime: a stop signal interrupts the wait, whose call then fails with
// EINTR, so the thread sees the stop instead of waiting for ever.
class StreamWait {
  public:
    StreamWait();
    ~StreamWait();
    StreamWait(const StreamWait&) = delete;
    StreamWait& operator=(const StreamWait&) = delete;

  private:
    int slot_ = -1;
};

}  // namespace velmor
