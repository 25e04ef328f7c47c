#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

namespace velmor::fuzz {

// A private folder for the files a fuzz target loads and saves, made once per process
// (in memory where /dev/shm exists, since every input writes files) and removed at exit.
class ScratchFolder {
  public:
    static const std::string& path() {
        static ScratchFolder folder;
        return folder.path_;
    }
    static std::string file(const std::string& name) { return path() + "/" + name; }

    // Names of the entries the folder holds.
    static std::set<std::string> entries() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

  private:
    ScratchFolder() {
        std::string base = ::access("/dev/shm", W_OK) == 0
                               ? std::string("/dev/shm")
                               : std::filesystem::temp_directory_path().string();
        std::string pattern = base + "/velmor-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string path_;
};

inline void writeBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::abort();
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) std::abort();
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace velmor::fuzz
