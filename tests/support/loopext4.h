#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace velmor::testing {

// A small ext4 file system in an image file beside `folder`, mounted over it through
// a loop device, for what ext4 does and tmpfs does not (blocks claimed past a file's
// end); unmounted and removed when dropped. Needs root, mkfs.ext4 and a loop device:
// mounted() says whether it worked.
class LoopExt4 {
  public:
    LoopExt4(std::string folder, int megabytes)
        : folder_(std::move(folder)), image_(folder_ + ".ext4") {
        const std::string make = "truncate -s " + std::to_string(megabytes) + "M '" + image_ +
                                 "' && mkfs.ext4 -q -F '" + image_ + "' >/dev/null 2>&1" +
                                 " && mount -o loop '" + image_ + "' '" + folder_ + "' 2>/dev/null";
        mounted_ = std::system(make.c_str()) == 0;
    }
    ~LoopExt4() {
        if (mounted_) (void)std::system(("umount '" + folder_ + "'").c_str());
        std::error_code ignored;
        std::filesystem::remove(image_, ignored);
    }
    LoopExt4(const LoopExt4&) = delete;
    LoopExt4& operator=(const LoopExt4&) = delete;

    bool mounted() const { return mounted_; }

  private:
    std::string folder_;
    std::string image_;
    bool mounted_ = false;
};

}  // namespace velmor::testing
