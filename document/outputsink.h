#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "progress.h"

namespace velmor {

// Where a saved text goes: a file, written safely, or a stream such as the standard
// output. Every step throws EInOutError when it fails; a sink destroyed before
// finish() leaves its destination exactly as it was (a stream keeps what it took).
class OutputSink {
  public:
    virtual ~OutputSink() = default;
    // Claims room for `bytes` more bytes about to be written, where running out of it
    // halfway would cost the old content.
    virtual void expect(std::size_t /*bytes*/) {}
    virtual void write(std::string_view bytes) = 0;
    virtual void finish() = 0;
    // Gives the output up at once after a failure elsewhere, so that old content
    // written over goes back; throws EInOutError naming where it is kept when it
    // cannot go back. Nothing for a sink that changes nothing before finish().
    virtual void abandon() {}
};

// The file `path`, written as the window's Save As writes it: a new file beside the
// target that replaces it only once complete and on disk, or the target itself with
// its old content kept. `inputFd` is the open input (or -1): when the target has to
// be written in place and is that input, the output is held back until finish().
// `cancel`, when given, may give the output up until the new content replaces the
// old (finish() then throws EAbort); a cancel after that is refused. A stop signal
// gives it up the same way.
std::unique_ptr<OutputSink> openFileSink(const std::string& path, int inputFd = -1,
                                         Progress* cancel = nullptr);

// The file `path` as openFileSink writes it, or, where it is a FIFO or a character
// device (a pipe, /dev/null, a terminal, process substitution), written straight
// through as a stream, held back until finish() with `holdBack`.
std::unique_ptr<OutputSink> openPathSink(const std::string& path, int inputFd, bool holdBack);

// The open descriptor `fd` (the standard output), named `name` in errors. With
// `holdBack`, nothing reaches it before finish(): the output waits in an unnamed
// temporary file, so that a refusal found late writes nothing.
std::unique_ptr<OutputSink> openStreamSink(int fd, const std::string& name, bool holdBack);

}  // namespace velmor
