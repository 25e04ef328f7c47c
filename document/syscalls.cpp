#include "syscalls.h"

#include <acl/libacl.h>
#include <attr/libattr.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace velmor::sys {

namespace {

int openFile(const char* path, int flags) {
    return ::open(path, flags);
}
int createFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags | O_CREAT, mode);
}
int statPath(const char* path, struct stat* st) {
    return ::stat(path, st);
}
int lstatPath(const char* path, struct stat* st) {
    return ::lstat(path, st);
}
int fstatFile(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int openTmpFile(int dir, int flags, mode_t mode) {
    return ::openat(dir, ".", flags | O_TMPFILE, mode);
}
int linkTempFile(int fd, int dir, const char* name) {
    // Through /proc no privilege is needed; AT_EMPTY_PATH, where /proc is missing,
    // needs CAP_DAC_READ_SEARCH.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), dir, name, AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return -1;
    return ::linkat(fd, "", dir, name, AT_EMPTY_PATH);
}
int openInFolder(int dir, const char* name, int flags, mode_t mode) {
    return ::openat(dir, name, flags, mode);
}
int renameInFolder(int dir, const char* from, const char* to) {
    return ::renameat(dir, from, dir, to);
}
int unlinkInFolder(int dir, const char* name) {
    return ::unlinkat(dir, name, 0);
}
int listNames(int dir, std::vector<std::string>* names) {
    // The folder's own descriptor stays open and at its place: a copy is read.
    const int copy = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) return -1;
    DIR* folder = ::fdopendir(copy);
    if (folder == nullptr) {
        const int err = errno;
        ::close(copy);
        errno = err;
        return -1;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
        errno = 0;
    }
    const int err = errno;
    ::closedir(folder);
    errno = err;
    return err == 0 ? 0 : -1;
}
int copyAclFd(int from, int to) {
    // Without an error context the library reports nothing itself.
    return ::perm_copy_fd("", from, "", to, nullptr);
}
int copyXattrsFd(int from, int to) {
    // The default rule set leaves out what perm_copy_fd copies and what the system
    // manages itself.
    return ::attr_copy_fd("", from, "", to, nullptr, nullptr);
}
int folderFlagsOf(const char* folder, int* flags) {
    int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    int result = ::ioctl(fd, FS_IOC_GETFLAGS, flags);
    int err = errno;
    ::close(fd);
    errno = err;
    return result;
}
int startThreadNow(pthread_t* thread, void* (*entry)(void*), void* argument) {
    const int err = ::pthread_create(thread, nullptr, entry, argument);
    if (err == 0) return 0;
    errno = err;
    return -1;
}

const Calls kSystem = {
    openFile,     createFile,   ::read,         ::write,        ::fsync,           ::close,
    fstatFile,    statPath,     lstatPath,      ::readlink,     ::fchmod,          ::fchown,
    ::ftruncate,  ::fallocate,  openTmpFile,    linkTempFile,   ::pread,           ::pwrite,
    copyAclFd,    copyXattrsFd, folderFlagsOf,  ::lseek,        ::sync_file_range, startThreadNow,
    openInFolder, ::fstatat,    renameInFolder, unlinkInFolder, ::mkdirat,         ::flock,
    listNames,
};

const Calls* current = &kSystem;

}  // namespace

const Calls& systemCalls() {
    return kSystem;
}
const Calls& calls() {
    return *current;
}

ScopedCalls::ScopedCalls(const Calls& replacement) : previous_(current) {
    current = &replacement;
}
ScopedCalls::~ScopedCalls() {
    current = previous_;
}

}  // namespace velmor::sys
