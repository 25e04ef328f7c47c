// Huge inputs through the whole path of the program: load, both conversions, save.
// Each test runs in its own process, so its peak memory is its own; the peak must stay
// within three times the file's size plus 50 MB.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "commands/conversioncommands.h"
#include "document/loadsave.h"
#include "support/peakmemory.h"
#include "support/scripteddialogs.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::peakRssMb;
using testing::ScriptedDialogs;
using testing::TempFolder;

constexpr std::size_t kMb = 1024 * 1024;

// True when the file at `saved` is the file at `original` followed by `tail`,
// compared piece by piece so that neither is held whole.
bool savedIsOriginalPlus(const std::string& original, const std::string& saved,
                         const std::string& tail) {
    std::ifstream a(original, std::ios::binary), b(saved, std::ios::binary);
    std::string x(8 * kMb, '\0'), y(8 * kMb, '\0');
    for (;;) {
        a.read(x.data(), static_cast<std::streamsize>(x.size()));
        const auto n = static_cast<std::size_t>(a.gcount());
        if (n == 0) break;
        b.read(y.data(), static_cast<std::streamsize>(n));
        if (static_cast<std::size_t>(b.gcount()) != n || x.compare(0, n, y, 0, n) != 0)
            return false;
    }
    std::string rest(std::istreambuf_iterator<char>(b), {});
    return rest == tail;
}

class Stopwatch {
  public:
    void lap(const char* what) {
        const auto now = std::chrono::steady_clock::now();
        std::printf("%-22s %7.2f s, peak %8.1f MB\n", what,
                    std::chrono::duration<double>(now - last_).count(), peakRssMb());
        std::fflush(stdout);
        last_ = now;
    }

  private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Loads, converts to VELMOR and back, and saves; returns the peak memory in MB.
// Text of whole characters with the loader's space at each line end comes back
// unchanged, which the hash of the text shows without a second copy of it.
double openConvertSaveOnly(const std::string& path, const std::string& savePath,
                           bool expectConversion) {
    // The peak counts from here, also when both tests run in one process.
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    Stopwatch clock;
    Workspace ws;
    ScriptedDialogs dialogs;
    dialogs.answerAllWith(mrYes);
    memo1set(ws.document, path);
    clock.lap("load");
    const std::size_t loadedHash = std::hash<std::string>{}(ws.document.WholeText());
    const std::size_t loadedSize = ws.document.WholeText().size();
    clock.lap("hash");
    sjis_velmorClick(ws, dialogs);
    clock.lap("SJIS->VELMOR");
    EXPECT_EQ(ws.state.ToVelmorDone, expectConversion ? 1 : 0);
    velmor_sjisClick(ws, dialogs);
    clock.lap("VELMOR->SJIS");
    EXPECT_EQ(ws.state.ToSjisDone, expectConversion ? 1 : 0);
    EXPECT_EQ(ws.document.WholeText().size(), loadedSize);
    EXPECT_EQ(std::hash<std::string>{}(ws.document.WholeText()), loadedHash);
    memo1_get_out(ws.document, savePath);
    clock.lap("save");
    return peakRssMb();
}

// The whole check of a large file: open, both conversions and save within the memory
// target, and the saved file the original with one more line end.
void expectOpenConvertSaveKeepsIt(const std::string& path, const TempFolder& folder,
                                  bool expectConversion) {
    const double peakMb = openConvertSaveOnly(path, folder / "saved.txt", expectConversion);
    const double limitMb = 3.0 * static_cast<double>(std::filesystem::file_size(path)) / kMb + 50;
    std::printf("peak %.1f MB, target %.1f MB\n", peakMb, limitMb);
#if defined(__SANITIZE_ADDRESS__)
    std::printf("memory target not checked under AddressSanitizer\n");
#else
    EXPECT_LE(peakMb, limitMb);
#endif
    EXPECT_TRUE(savedIsOriginalPlus(path, folder / "saved.txt", "\r\n"));
}

TEST(LargeInput, TwoGigabytesWithAHundredMegabyteLine) {
    TempFolder folder;
    const std::string path = folder / "big.txt";
    // Lines of kanji, kana, letters and digits; in the middle one line of 100 MB.
    const std::string line = "\x88\x9f\x88\xa0 abc \x82\xa0\x82\xa2\x81\x40 0123456789\r\n";
    const std::string longPiece = "\x88\x9f\x93\xfc xyz \x82\xa0";
    const std::size_t longLineSize = 100 * kMb / longPiece.size() * longPiece.size();
    const std::size_t linesBefore = 1024 * kMb / line.size();
    const std::size_t linesAfter = (2048 * kMb - longLineSize) / line.size() - linesBefore + 1;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::string block;
        while (block.size() + line.size() <= 8 * kMb) block += line;
        auto writeLines = [&](std::size_t count) {
            const std::size_t perBlock = block.size() / line.size();
            for (; count >= perBlock; count -= perBlock) out.write(block.data(), block.size());
            out.write(block.data(), static_cast<std::streamsize>(count * line.size()));
        };
        std::string longBlock;
        while (longBlock.size() + longPiece.size() <= 8 * kMb) longBlock += longPiece;
        writeLines(linesBefore);
        for (std::size_t done = 0; done < longLineSize;) {
            const std::size_t n = std::min(longBlock.size(), longLineSize - done);
            out.write(longBlock.data(), static_cast<std::streamsize>(n));
            done += n;
        }
        out.write("\r\n", 2);
        writeLines(linesAfter);
        ASSERT_TRUE(out.good()) << "cannot write " << path;
    }
    ASSERT_GT(std::filesystem::file_size(path), 2000 * kMb);
    expectOpenConvertSaveKeepsIt(path, folder, true);
}

TEST(LargeInput, FiftyMillionEmptyLines) {
    TempFolder folder;
    const std::string path = folder / "empty-lines.txt";
    const std::size_t lines = 50'000'000;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::string block;
        for (int i = 0; i < 1'000'000; ++i) block += "\r\n";
        for (std::size_t n = 0; n < lines; n += 1'000'000) out.write(block.data(), block.size());
        ASSERT_TRUE(out.good()) << "cannot write " << path;
    }
    ASSERT_EQ(std::filesystem::file_size(path), 2 * lines);
    expectOpenConvertSaveKeepsIt(path, folder, false);
}

}  // namespace
}  // namespace velmor
