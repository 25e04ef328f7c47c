#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "document/textfile.h"

namespace velmor {

// Where one converted file goes. Every step throws EInOutError when it fails;
// a sink destroyed before finish() leaves its destination exactly as it was.
class OutputSink {
  public:
    virtual ~OutputSink() = default;
    virtual void write(std::string_view bytes) = 0;
    virtual void finish() = 0;
    // Gives the output up after a failure elsewhere, at once, so that old content
    // written over goes back; throws EInOutError naming where it is kept when it
    // cannot go back. Nothing for a sink that changes nothing before finish().
    virtual void abandon() {}
};

// A file, written through the text-file layer the window's Save As uses: a new
// file beside the target that replaces it only once complete and on disk.
// `inputFd` is the open input (or -1): when the layer has to write the target in
// place and the target is the input, the output is held back until finish().
std::unique_ptr<OutputSink> openFileSink(const std::string& path, int inputFd);

// Standard output. With `holdBack`, nothing reaches it before finish(): the output
// waits in an unnamed temporary file, so a refusal found late writes nothing.
std::unique_ptr<OutputSink> openStdoutSink(bool holdBack);

}  // namespace velmor
