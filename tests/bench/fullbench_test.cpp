#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <set>
#include <string>

#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::readFile;

const char* const kPhases[] = {"load",
                               "sjis_to_velmor",
                               "velmor_to_sjis",
                               "save",
                               "view_index",
                               "view_paint_top",
                               "view_paint_bottom",
                               "iconv_to_eucjpms",
                               "iconv_from_eucjpms",
                               "memcpy",
                               "write_fsync"};

// Runs velmor-bench small and fast: 1 MB, one run after the warm-up, a view of
// 20,000 lines.
class FullBench : public ::testing::Test {
  protected:
    int run(const std::string& args) {
        std::string command = std::string("'") + VELMOR_BENCH + "' " + args + " >'" +
                              folder_ / "stdout" + "' 2>'" + folder_ / "stderr" + "'";
        int status = std::system(command.c_str());
        out_ = readFile(folder_ / "stdout");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static constexpr const char* kSmall = "--size-mb 1 --runs 1 --view-lines 20000";

    testing::TempFolder folder_;
    std::string out_;
};

TEST_F(FullBench, PrintsATableWithEveryPhaseAndThePeers) {
    ASSERT_EQ(run(kSmall), 0) << readFile(folder_ / "stderr");
    for (const char* header : {"phase", "median ms", "MB/s", "vs iconv", "vs memcpy", "peak RSS"}) {
        EXPECT_NE(out_.find(header), std::string::npos) << header << "\n" << out_;
    }
    for (const char* phase : kPhases) {
        // A row: the name, then at least the time and the throughput.
        std::size_t at = out_.find(std::string("\n") + phase + " ");
        ASSERT_NE(at, std::string::npos) << phase << "\n" << out_;
        std::string row = out_.substr(at + 1, out_.find('\n', at + 1) - at - 1);
        double ms = std::strtod(row.c_str() + std::string(phase).size(), nullptr);
        EXPECT_GT(ms, 0) << row;
    }
    EXPECT_NE(out_.find("fresh process"), std::string::npos) << out_;
    EXPECT_NE(out_.find("gives back the loaded text"), std::string::npos) << out_;
}

TEST_F(FullBench, JsonHoldsEveryPhaseAndIconvRatiosOnlyOnConversions) {
    ASSERT_EQ(run(std::string(kSmall) + " --json"), 0) << readFile(folder_ / "stderr");
    QJsonParseError error;
    QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(out_), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << out_;
    QJsonObject root = json.object();
    EXPECT_NEAR(root["size_mb"].toDouble(), 1.0, 1e-9);
    EXPECT_EQ(root["corpus"].toString().toStdString(), "dense");
    EXPECT_GT(root["peak_rss_mb"].toDouble(), 0);
    EXPECT_GT(root["open_convert_save_peak_rss_mb"].toDouble(), 0);

    std::set<std::string> names;
    for (const QJsonValue& value : root["phases"].toArray()) {
        QJsonObject phase = value.toObject();
        std::string name = phase["name"].toString().toStdString();
        names.insert(name);
        EXPECT_GT(phase["seconds"].toDouble(), 0) << name;
        EXPECT_GT(phase["mb_per_s"].toDouble(), 0) << name;
        bool conversion = name == "sjis_to_velmor" || name == "velmor_to_sjis";
        EXPECT_EQ(phase.contains("vs_iconv"), conversion) << name;
        if (conversion) {
            EXPECT_GT(phase["vs_iconv"].toDouble(), 0) << name;
        }
    }
    for (const char* phase : kPhases) EXPECT_TRUE(names.count(phase)) << phase;
}

// Every kind is the same for the same size, exactly that size, made of characters
// every peer accepts, with lines of the kind's lengths (a prose line may end in a
// lone LF); the dense kind keeps its share of double-byte characters.
TEST_F(FullBench, CorporaAreDeterministicShiftJisText) {
    struct Kind {
        std::string name;
        std::size_t shortest, longest;
    };
    for (const Kind& kind : {Kind{"dense", 20, 120}, {"prose", 20, 60}, {"records", 80, 200}}) {
        const std::string args = "corpus --corpus " + kind.name + " 0.5 '";
        ASSERT_EQ(run(args + folder_ / "a" + "'"), 0) << readFile(folder_ / "stderr");
        ASSERT_EQ(run(args + folder_ / "b" + "'"), 0);
        std::string text = readFile(folder_ / "a");
        ASSERT_EQ(text.size(), 512u * 1024) << kind.name;
        EXPECT_TRUE(text == readFile(folder_ / "b")) << kind.name;

        std::size_t doubleBytes = 0, pos = 0;
        while (pos < text.size()) {
            std::size_t next = text.find('\n', pos);
            if (next == std::string::npos) next = text.size();
            std::size_t end = next > pos && text[next - 1] == '\r' ? next - 1 : next;
            if (next != text.size()) {
                EXPECT_TRUE(end - pos >= kind.shortest && end - pos <= kind.longest)
                    << kind.name << " " << end - pos;
                EXPECT_TRUE(kind.name == "prose" || end + 1 == next) << kind.name << " LF alone";
            }
            for (std::size_t i = pos; i < end; ++i) {
                auto b = static_cast<unsigned char>(text[i]);
                ASSERT_TRUE(b >= 0x20 && b != 0x7F) << kind.name << " control byte at " << i;
                if ((b >= 0x81 && b <= 0x9F) || b >= 0xE0) {
                    doubleBytes += 2;
                    ++i;
                }
            }
            pos = next + 1;
        }
        if (kind.name != "dense") continue;
        double share = static_cast<double>(doubleBytes) / static_cast<double>(text.size());
        EXPECT_GT(share, 0.55);
        EXPECT_LT(share, 0.65);
    }
}

TEST_F(FullBench, RejectsUnknownOptions) {
    EXPECT_EQ(run("--size-mb"), 2);
    EXPECT_EQ(run("--size-mb zero"), 2);
    EXPECT_EQ(run("--fast"), 2);
    EXPECT_EQ(run("corpus"), 2);
    EXPECT_EQ(run("corpus --corpus poetry 1 x"), 2);
    EXPECT_EQ(run("--corpus poetry"), 2);
}

}  // namespace
}  // namespace velmor
