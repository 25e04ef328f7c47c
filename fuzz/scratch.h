#pragma once

#include "support/tempfolder.h"

namespace velmor::fuzz {

// The folder a fuzz target loads and saves in: made once per process, in memory where
// it can be since every input writes files, and removed at exit.
inline const testing::TempFolder& scratch() {
    static const testing::TempFolder folder(testing::TempFolder::InMemory);
    return folder;
}

}  // namespace velmor::fuzz
