#pragma once

namespace velmor {

// What the window's process does before anything else, Qt included: opens /dev/null
// on the standard streams it was started without, so no file it opens gets one, and
// lets a stop signal (SIGINT, SIGTERM, SIGHUP) end it as before, except that a
// running save first undoes its write.
void prepareWindowProcess();

}  // namespace velmor
