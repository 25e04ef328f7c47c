#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/bytes.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::bytes;
using testing::hex;
using testing::readFile;
using testing::writeFile;

// Runs velmor-bench convert in a fresh process, like the checks that use it.
class BenchConvert : public ::testing::Test {
  protected:
    int run(const std::string& direction, const std::string& input, const std::string& output) {
        std::string command = std::string("'") + VELMOR_BENCH + "' convert " + direction + " '" +
                              input + "' '" + output + "' >'" + folder_ / "stdout" + "' 2>'" +
                              folder_ / "stderr" + "'";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Converts `content` and returns what was saved.
    std::string convert(const std::string& direction, const std::string& content) {
        writeFile(folder_ / "in", content);
        EXPECT_EQ(run(direction, folder_ / "in", folder_ / "out"), 0)
            << readFile(folder_ / "stderr");
        std::string out = readFile(folder_ / "stdout");
        for (const char* phase : {"load", "convert", "save"}) {
            EXPECT_NE(out.find(phase), std::string::npos) << out;
        }
        return readFile(folder_ / "out");
    }

    testing::TempFolder folder_;
};

TEST_F(BenchConvert, VelmorToSjis) {
    std::string saved =
        convert("--to-sjis", bytes({0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, 'A', 13, 10, 'x', 10}));
    EXPECT_EQ(saved, bytes({0x88, 0x9F, 'A', 13, 10, 'x', 13, 10, 13, 10})) << hex(saved);
    // Two spaces in a run are one ideographic space: the loaded space went into it,
    // and the line is saved whole rather than cut inside the character.
    saved = convert("--to-sjis", bytes({0x93, 0x70, 0xB0, 0xA1, 0x20, 13, 10}));
    EXPECT_EQ(saved, bytes({0x88, 0x9F, 0x81, 0x40, 13, 10, 13, 10})) << hex(saved);
}

TEST_F(BenchConvert, SjisToVelmor) {
    std::string saved = convert("--to-velmor", bytes({'A', 0x88, 0x9F, 13, 10, 0x88, 0x9F}));
    EXPECT_EQ(saved, bytes({'A', 0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, 13, 10, 0x93, 0x70, 0xB0, 0xA1,
                            0x93, 0xF1, 13, 10, 13, 10}))
        << hex(saved);
    // Text already holding VELMOR is converted anyway: the question is answered Yes.
    saved = convert("--to-velmor", bytes({0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, 13, 10}));
    EXPECT_EQ(saved, bytes({0x93, 0x70, 0xC5, 0xD1, 0x93, 0xF1, 0xB0, 0xA1, 0x93, 0x70, 0xC6, 0xF3,
                            0x93, 0xF1, 13, 10, 13, 10}))
        << hex(saved);
}

// Like Save As in the window, an empty text is not saved: OUTPUT stays as it was.
TEST_F(BenchConvert, EmptyInputIsRefusedAndWritesNothing) {
    for (const char* direction : {"--to-sjis", "--to-velmor"}) {
        for (const std::string& input : {std::string(), std::string("\x1a"
                                                                    "abc")}) {
            writeFile(folder_ / "in", input);
            writeFile(folder_ / "out", "kept");
            EXPECT_NE(run(direction, folder_ / "in", folder_ / "out"), 0);
            EXPECT_EQ(readFile(folder_ / "out"), "kept");
            EXPECT_NE(readFile(folder_ / "stderr").find("ファイルを開いて下さい。"),
                      std::string::npos);
        }
    }
}

TEST_F(BenchConvert, ErrorsAreReportedAndLeaveNoOutput) {
    EXPECT_EQ(run("--to-sjis", folder_ / "missing", folder_ / "out"), 1);
    EXPECT_NE(readFile(folder_ / "stderr").find("ファイルが見つかりません"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "out"));

    writeFile(folder_ / "in", "abc\r\n");
    writeFile(folder_ / "locked", "keep");
    ASSERT_EQ(::chmod((folder_ / "locked").c_str(), 0444), 0);
    EXPECT_EQ(run("--to-velmor", folder_ / "in", folder_ / "locked"), 1);
    EXPECT_NE(readFile(folder_ / "stderr").find("ファイルへのアクセスが拒否されました"),
              std::string::npos);
    EXPECT_EQ(readFile(folder_ / "locked"), "keep");

    EXPECT_EQ(run("--to-ebcdic", folder_ / "in", folder_ / "out"), 2);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "out"));
}

}  // namespace
}  // namespace velmor
