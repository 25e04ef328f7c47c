#include "standardstreams.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "syscalls.h"

namespace velmor {

void guardStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat st;
        if (sys::calls().fstat(fd, &st) == 0 || errno != EBADF) continue;
        // The lowest free descriptor: this one, since those below it are open.
        const int opened = sys::calls().open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0) return;  // nothing to open them on; nothing better to do
    }
}

}  // namespace velmor
