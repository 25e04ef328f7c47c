#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "convert/streamconverter.h"

namespace velmor {

// A run of whole lines of the input in the form the Document holds them.
struct LoadedPiece {
    std::string loaded;
    std::size_t inputBytes = 0;  // file bytes the lines took
    bool last = false;           // nothing follows: the end of the file, or a Ctrl-Z
    int error = 0;               // the code of a failed read; then nothing else is valid
    // Kept for the conversion report only: the input bytes of the lines, when loading
    // them dropped a lone CR, and the bytes after a Ctrl-Z that ended the loading.
    std::string raw;
    std::string afterEndMark;
    std::uint64_t afterEndMarkBytes = 0;
};

// Reads a file descriptor on a thread of its own, a few pieces ahead of the caller,
// cutting it into pieces of about `chunkBytes` bytes at line ends. A line longer
// than that makes its piece as long as the line. Only the pieces in flight and one
// read buffer are held, so memory stays bounded however long the input.
class ChunkReader {
  public:
    // With `forReport`, pieces keep what the conversion report needs (see LoadedPiece).
    ChunkReader(int fd, std::size_t chunkBytes, bool forReport = false);
    ~ChunkReader();
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // The next piece; valid until the next call. After a piece marked last or
    // holding an error, must not be called again.
    const LoadedPiece& next();

  private:
    static constexpr int kPieces = 3;

    void run();
    void fill(LoadedPiece& piece);
    void readAfterEndMark(LoadedPiece& piece);
    LoadedPiece* takeFree();
    void publish(LoadedPiece* piece);

    const int fd_;
    const bool forReport_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t held_ = 0;  // bytes at the buffer's start not yet loaded
    bool atEnd_ = false;
    LineLoader loader_;

    LoadedPiece pieces_[kPieces];
    LoadedPiece* current_ = nullptr;  // handed to the caller
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<LoadedPiece*> ready_;
    std::deque<LoadedPiece*> free_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace velmor
