#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace velmor::sys {

// Every system call the text-file layer makes goes through this table, so a test
// can replace any of them (for instance to make the n-th write fail with ENOSPC).
// Each entry behaves like the POSIX call of the same name: -1 and errno on failure.
enum class Call {
    Open,        // open an existing file or folder
    CreateTemp,  // create a new file with O_CREAT | O_EXCL
    Read,
    Write,
    Fsync,
    Close,
    Fstat,
    Stat,
    Lstat,
    Readlink,
    Rename,
    Unlink,
    Fchmod,
    Fchown,
    Ftruncate,
    Fallocate,
    Count
};

struct Calls {
    int (*open)(const char* path, int flags);
    int (*createTemp)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buf, std::size_t count);
    ssize_t (*write)(int fd, const void* buf, std::size_t count);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*fstat)(int fd, struct stat* st);
    int (*stat)(const char* path, struct stat* st);
    int (*lstat)(const char* path, struct stat* st);
    ssize_t (*readlink)(const char* path, char* buf, std::size_t size);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*ftruncate)(int fd, off_t length);
    int (*fallocate)(int fd, int mode, off_t offset, off_t length);
};

// The real calls.
const Calls& systemCalls();

// The table in use: the real calls unless a ScopedCalls replaced it.
const Calls& calls();

// Puts `replacement` in use for its lifetime and restores the previous table after.
// Not thread safe: tests install it before any file work starts.
class ScopedCalls {
  public:
    explicit ScopedCalls(const Calls& replacement);
    ~ScopedCalls();
    ScopedCalls(const ScopedCalls&) = delete;
    ScopedCalls& operator=(const ScopedCalls&) = delete;

  private:
    const Calls* previous_;
};

}  // namespace velmor::sys
