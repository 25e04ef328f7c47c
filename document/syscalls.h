#pragma once

#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace velmor::sys {

// Every system call the program makes on files, and every thread it starts, goes
// through this table, so a test can replace any of them (for instance to make the
// n-th write fail with ENOSPC, or a thread fail to start). Each entry behaves like
// the POSIX call of the same name: -1 and errno on failure.
enum class Call {
    Open,        // open an existing file or folder
    CreateTemp,  // open with O_CREAT added to the given flags
    Read,
    Write,
    Fsync,
    Close,
    Fstat,
    Stat,
    Lstat,
    Readlink,
    Fchmod,
    Fchown,
    Ftruncate,
    Fallocate,
    TmpFile,   // openat(folder, ".", O_TMPFILE | flags, mode): a file without a name
    LinkTemp,  // gives a file made by TmpFile the name `name` in the open folder `dir`
    Pread,
    Pwrite,
    CopyAcl,      // the access ACL (or the permission bits) from one file to another
    CopyXattrs,   // the extended attributes from one file to another
    FolderFlags,  // the inode flags (FS_IOC_GETFLAGS) of a folder
    Lseek,
    SyncRange,    // sync_file_range: starts writing a range back to disk
    StartThread,  // pthread_create, with -1 and errno in place of its result
    OpenAt,       // openat: a name in an open folder
    FstatAt,
    RenameAt,  // renameat within one open folder
    UnlinkAt,
    MkdirAt,
    Flock,
    ListFolder,  // the names in an open folder, "." and ".." left out
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
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*ftruncate)(int fd, off_t length);
    int (*fallocate)(int fd, int mode, off_t offset, off_t length);
    int (*tmpFile)(int dir, int flags, mode_t mode);
    int (*linkTemp)(int fd, int dir, const char* name);
    ssize_t (*pread)(int fd, void* buf, std::size_t count, off_t offset);
    ssize_t (*pwrite)(int fd, const void* buf, std::size_t count, off_t offset);
    int (*copyAcl)(int from, int to);
    int (*copyXattrs)(int from, int to);
    int (*folderFlags)(const char* folder, int* flags);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*syncRange)(int fd, off_t offset, off_t bytes, unsigned int flags);
    int (*startThread)(pthread_t* thread, void* (*entry)(void*), void* argument);
    int (*openAt)(int dir, const char* name, int flags, mode_t mode);
    int (*fstatAt)(int dir, const char* name, struct stat* st, int flags);
    int (*renameAt)(int dir, const char* from, const char* to);
    int (*unlinkAt)(int dir, const char* name);
    int (*mkdirAt)(int dir, const char* name, mode_t mode);
    int (*flock)(int fd, int operation);
    int (*listFolder)(int dir, std::vector<std::string>* names);
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

// Owns one open descriptor and closes it when dropped. Dropping it ignores a failed
// close: that is for descriptors whose work failed or never began; `close` reports.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    int get() const { return fd_; }
    // Gives up ownership without closing: for a descriptor the process keeps open.
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) calls().close(fd_);
        fd_ = -1;
    }
    // Closes the descriptor: 0, or -1 with errno. Linux releases it either way.
    int close() { return calls().close(std::exchange(fd_, -1)); }

  private:
    int fd_ = -1;
};

}  // namespace velmor::sys
