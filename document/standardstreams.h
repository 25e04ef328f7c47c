#pragma once

namespace velmor {

// Opens /dev/null on each of the descriptors 0, 1 and 2 that the program was started
// without, before it opens anything else: a file it opens later would otherwise get
// one of them, and what is meant for standard error would be written into that file.
void guardStandardStreams();

}  // namespace velmor
