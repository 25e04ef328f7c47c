#include "syscalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace velmor::sys {

namespace {

int openFile(const char* path, int flags) {
    return ::open(path, flags);
}
int createFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags | O_CREAT | O_EXCL, mode);
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

const Calls kSystem = {
    openFile,  createFile, ::read,   ::write,  ::fsync,  ::close,  fstatFile,   statPath,
    lstatPath, ::readlink, ::rename, ::unlink, ::fchmod, ::fchown, ::ftruncate, ::fallocate,
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
