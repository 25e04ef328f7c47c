#include "filepaths.h"

#include <cerrno>

#include "ioerror.h"
#include "syscalls.h"

namespace velmor {

std::string folderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    std::size_t end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

int pathErrorCode(int err, const std::string& path) {
    if (err != ENOENT) return ioErrorCode(err);
    if (path.empty()) return kIoPathNotFound;
    struct stat st;
    bool folderExists = sys::calls().stat(folderOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return folderExists ? kIoFileNotFound : kIoPathNotFound;
}

int resolveLinks(const std::string& path, std::string& target) {
    constexpr int kMaxLinks = 40;  // as the kernel allows
    target = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (sys::calls().lstat(target.c_str(), &st) != 0) {
            return errno == ENOENT ? 0 : errno;  // a missing entry is created
        }
        if (!S_ISLNK(st.st_mode)) return 0;
        if (hops == kMaxLinks) return ELOOP;
        std::string link(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 256, '\0');
        for (;;) {
            ssize_t n = sys::calls().readlink(target.c_str(), link.data(), link.size());
            if (n < 0) return errno;
            if (static_cast<std::size_t>(n) < link.size()) {
                link.resize(static_cast<std::size_t>(n));
                break;
            }
            link.resize(link.size() * 2);
        }
        if (link.empty()) return ENOENT;
        target = link.front() == '/' ? link : folderOf(target) + "/" + link;
    }
}

}  // namespace velmor
