#pragma once

#include <cstdint>
#include <string>

namespace velmor {

// The state the commands share beside the Document. Flags hold only 0 or 1 and
// are always tested for equality with 1.
struct DocumentState {
    std::string OpenFileName;  // path of the file last chosen in the open dialog
    std::string SaveFileName;  // path of the file last chosen in the save dialog
    std::int32_t ToSjisDone = 0;
    std::int32_t ToVelmorDone = 0;
};

}  // namespace velmor
