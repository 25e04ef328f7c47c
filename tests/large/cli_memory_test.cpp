// velmor-convert on a 1 GB file, both ways: its peak memory stays bounded however
// large the file, and the round trip gives back every line. The file is generated
// and compared a block at a time, so this process stays small too: a child starts
// from a copy of its parent, whose peak would count as the child's.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/tempfolder.h"

namespace velmor {
namespace {

constexpr std::size_t kMb = 1024 * 1024;
constexpr std::size_t kFileBytes = 1024 * kMb;
#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's shadow memory and allocator come on top.
constexpr double kPeakLimitMb = 160;
#else
constexpr double kPeakLimitMb = 64;
#endif

// Writes Shift-JIS lines of 20 to 60 bytes, ASCII with runs of a few kanji, ended by CR LF.
void writeTextFile(const std::string& path, std::size_t bytes) {
    std::mt19937_64 rng(20021204);
    std::ofstream out(path, std::ios::binary);
    std::string block;
    for (std::size_t written = 0; written < bytes;) {
        block.clear();
        while (block.size() < kMb) {
            const std::size_t length = 20 + rng() % 41;
            std::size_t start = block.size();
            while (block.size() - start < length) {
                if (rng() % 3 == 0) {
                    for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k) {
                        block.push_back(static_cast<char>(0x88 + rng() % 8));
                        block.push_back(static_cast<char>(0x9F + rng() % 0x5D));
                    }
                } else {
                    block.push_back(static_cast<char>('A' + rng() % 26));
                }
            }
            block += "\r\n";
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        written += block.size();
    }
    ASSERT_TRUE(out.good());
}

// Runs velmor-convert with `args` and returns its peak resident memory in MB.
double peakOfConvert(std::vector<std::string> args) {
    args.insert(args.begin(), VELMOR_CONVERT);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// True when `saved` is `original` followed by `tail`, compared a block at a time.
bool isOriginalPlus(const std::string& original, const std::string& saved,
                    const std::string& tail) {
    std::ifstream a(original, std::ios::binary), b(saved, std::ios::binary);
    std::vector<char> x(kMb), y(kMb);
    for (;;) {
        a.read(x.data(), static_cast<std::streamsize>(x.size()));
        std::streamsize n = a.gcount();
        if (n == 0) break;
        b.read(y.data(), n);
        if (b.gcount() != n || !std::equal(x.begin(), x.begin() + n, y.begin())) return false;
    }
    std::string rest(std::istreambuf_iterator<char>(b), {});
    return rest == tail;
}

TEST(CliMemory, OneGigabyteBothWaysInBoundedMemory) {
    testing::TempFolder folder;
    const std::string sjis = folder / "in.sjis", velmor = folder / "out.vel",
                      back = folder / "back.sjis";
    writeTextFile(sjis, kFileBytes);
    double toVelmor = peakOfConvert({"--to-velmor", "-q", "-o", velmor, sjis});
    double toSjis = peakOfConvert({"--to-sjis", "-q", "-o", back, velmor});
    std::printf("peak memory: to VELMOR %.1f MB, to Shift-JIS %.1f MB\n", toVelmor, toSjis);
    EXPECT_LE(toVelmor, kPeakLimitMb);
    EXPECT_LE(toSjis, kPeakLimitMb);
    // Each save adds one empty line at the end.
    EXPECT_TRUE(isOriginalPlus(sjis, back, "\r\n\r\n"));
}

}  // namespace
}  // namespace velmor
