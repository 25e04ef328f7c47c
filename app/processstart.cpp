#include "processstart.h"

#include "document/standardstreams.h"
#include "document/stopsignals.h"

namespace velmor {

void prepareWindowProcess() {
    guardStandardStreams();
    installStopSignals(OnStop::Signal);
}

}  // namespace velmor
