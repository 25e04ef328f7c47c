#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace velmor::testing {

// A 64 KiB tmpfs mounted over a folder, for a real full disk; unmounted when dropped.
// Mounting needs root: mounted() says whether it worked, why() why not.
class SmallTmpfs {
  public:
    explicit SmallTmpfs(std::string folder) : folder_(std::move(folder)) {
        if (::mount("velmor-test", folder_.c_str(), "tmpfs", 0, "size=64k") != 0) error_ = errno;
    }
    ~SmallTmpfs() {
        if (error_ == 0) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return error_ == 0; }
    const char* why() const { return std::strerror(error_); }

  private:
    std::string folder_;
    int error_ = 0;
};

}  // namespace velmor::testing
