#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "document/errors.h"
#include "document/loadreport.h"
#include "document/loadsave.h"
#include "document/syscalls.h"
#include "support/bytes.h"
#include "support/lines.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::bytes;
using testing::hex;
using testing::Lines;
using testing::linesOf;
using testing::loadedLines;

Lines load(const std::string& content, const ReadPlan& plan = windowReadPlan(),
           ConversionReport* report = nullptr) {
    testing::TempFolder folder;
    testing::writeFile(folder / "in.txt", content);
    Document doc;
    memo1set(doc, folder / "in.txt", report, nullptr, plan);
    return linesOf(doc);
}

TEST(Load, LineEnds) {
    EXPECT_EQ(load(""), Lines{});
    EXPECT_EQ(load("\r\n"), Lines{" "});
    EXPECT_EQ(load("A\r\nB"), (Lines{"A ", "B "}));  // no final line end
    EXPECT_EQ(load("A\nB\n"), (Lines{"A ", "B "}));
    EXPECT_EQ(load("A\rB\r\n"), Lines{"AB "});  // a lone CR is dropped
    EXPECT_EQ(load("A\r\r\nB"), (Lines{"A ", "B "}));
    EXPECT_EQ(load("A\r"), Lines{"A "});
    EXPECT_EQ(load("\n\n"), (Lines{" ", " "}));
}

TEST(Load, CtrlZEndsTheFileOnlyWhereALineBegins) {
    EXPECT_EQ(load("\x1a"
                   "A\r\n"),
              Lines{});
    EXPECT_EQ(load("A\r\n\x1a"
                   "B\r\n"),
              Lines{"A "});
    EXPECT_EQ(load("A\x1a"
                   "B\r\n"),
              Lines{"A\x1a"
                    "B "});
    // After a dropped CR the line has begun, so the Ctrl-Z belongs to it.
    EXPECT_EQ(load("\r\x1a"
                   "A"),
              Lines{"\x1a"
                    "A "});
    // Inside a line, block boundaries of any reader change nothing.
    for (std::size_t offset : {127u, 128u, 256u}) {
        std::string content(300, 'A');
        content[offset] = 0x1A;
        Lines lines = load(content + "\r\nB");
        ASSERT_EQ(lines.size(), 2u) << offset;
        EXPECT_EQ(lines[0], content + " ") << offset;
        EXPECT_EQ(lines[1], "B ");
    }
}

TEST(Load, EveryOtherByteIsKept) {
    EXPECT_EQ(load(bytes({'A', 0x00, 'B', '\r', '\n'})), Lines{bytes({'A', 0x00, 'B', ' '})});
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
    EXPECT_EQ(load(high + "\t\x1b"), Lines{high + "\t\x1b "});
}

TEST(Load, LongLinesComeWhole) {
    std::string longLine(70000, 'x');
    longLine[65535] = '\r';  // a dropped CR where a 64 KiB block would end
    std::string expected(70000 - 1, 'x');
    EXPECT_EQ(load(longLine + "\r\nshort"), (Lines{expected + " ", "short "}));
}

TEST(Load, LinesFollowWhatTheDocumentHolds) {
    testing::TempFolder folder;
    testing::writeFile(folder / "in.txt", "B\r\n");
    Document doc;
    doc.AppendLine("A");
    doc.SetModifiedMark(false);
    memo1set(doc, folder / "in.txt");
    EXPECT_EQ(doc.WholeText(), "A\r\nB \r\n");
    EXPECT_TRUE(doc.ModifiedMark());
}

// A file system that hands out a few bytes per read and hides the file's size makes
// the reader read on inside lines, inside CR LF pairs and before Ctrl-Z.
ssize_t trickleRead(int fd, void* buf, std::size_t count) {
    return sys::systemCalls().read(fd, buf, count < 7 ? count : 7);
}
int sizelessFstat(int fd, struct stat* st) {
    int result = sys::systemCalls().fstat(fd, st);
    st->st_size = 0;
    return result;
}

// Pieces of any size, loaded on any number of threads, give the same lines.
TEST(Load, SmallReadsAndPiecesGiveTheSameLines) {
    sys::Calls calls = sys::systemCalls();
    calls.read = trickleRead;
    auto rng = testing::seededRandom("Load.SmallReadsAndPiecesGiveTheSameLines");
    for (int round = 0; round < 200; ++round) {
        std::size_t length = rng() % (round < 190 ? 300 : 200000);
        std::string content = testing::randomBytes(rng, length, std::string("ab\r\n\x1a\0\x88", 7));
        if (round % 2) content.erase(0, content.find_first_not_of('\x1a'));
        sys::ScopedCalls scope(calls);
        Lines expected = loadedLines(content);
        if (round >= 190) calls.fstat = sizelessFstat;
        EXPECT_EQ(load(content), expected) << hex(content.substr(0, 200));
        const ReadPlan plan{1 + rng() % 64, 1 + static_cast<std::size_t>(round % 4), false};
        // What the load leaves out is found piece by piece: the same as in the whole file.
        ConversionReport parted, whole;
        EXPECT_EQ(load(content, plan, &parted), expected)
            << plan.pieceBytes << "-byte pieces on " << plan.threads
            << " threads: " << hex(content.substr(0, 200));
        locateLoadEntries(content, whole);
        EXPECT_TRUE(parted.entries() == whole.entries()) << hex(content.substr(0, 200));
    }
}

// Text with lines of every length and both kinds of line end is loaded 64 bytes at a
// time; a lone CR, a Ctrl-Z anywhere, a CR LF split between two blocks or a line
// longer than a block each leave that way in the middle of the text.
TEST(Load, LinesOfTextGiveTheSameLinesBlockByBlock) {
    auto rng = testing::seededRandom("Load.LinesOfTextGiveTheSameLinesBlockByBlock");
    for (int round = 0; round < 300; ++round) {
        // The long texts fill several of the loader's output buffers.
        const bool longText = round >= 290;
        const std::size_t length = longText ? 300000 + rng() % 300000 : rng() % 3000;
        std::string content;
        while (content.size() < length) {
            const std::size_t line = rng() % 4 == 0 ? rng() % 200 : rng() % 40;
            for (std::size_t i = 0; i < line; ++i) {
                content.push_back(static_cast<char>(('A' + rng() % 26) | (rng() % 3 ? 0 : 0x80)));
            }
            const auto special = rng() % 200;
            if (special == 0) {
                content += "\r";  // a lone CR
            } else if (special == 1) {
                content += "\x1a";  // Ctrl-Z inside a line
            } else if (special == 2 && !longText) {
                content += "\n\x1a";  // Ctrl-Z where a line begins: the text ends
            } else {
                content += rng() % 2 ? "\r\n" : "\n";
            }
        }
        EXPECT_EQ(load(content), loadedLines(content)) << "round " << round;
    }
}

// Cancels the load whose progress it is once the reads took more than a megabyte.
Progress* cancelLater = nullptr;
ssize_t readThenCancel(int fd, void* buf, std::size_t count) {
    static std::atomic<std::size_t> total{0};
    const ssize_t n = sys::systemCalls().read(fd, buf, count);
    if (n > 0 && (total += static_cast<std::size_t>(n)) > 1'000'000) cancelLater->cancel();
    return n;
}

TEST(Load, ProgressCountsEveryByteAndACancelStopsIt) {
    std::string content;
    for (int i = 0; i < 200000; ++i) content += "line " + std::to_string(i) + "\r\n";
    testing::TempFolder folder;
    testing::writeFile(folder / "in.txt", content);
    for (const ReadPlan plan : {ReadPlan{1 << 16, 1, false}, ReadPlan{1000, 3, false}}) {
        Document doc;
        Progress progress(content.size());
        memo1set(doc, folder / "in.txt", nullptr, &progress, plan);
        EXPECT_EQ(progress.done(), content.size()) << plan.threads;
        EXPECT_EQ(linesOf(doc), loadedLines(content));
        // A cancel ends the load on the way, threads and all.
        Document stopped;
        Progress stopping(content.size());
        cancelLater = &stopping;
        sys::Calls calls = sys::systemCalls();
        calls.read = readThenCancel;
        sys::ScopedCalls scope(calls);
        EXPECT_THROW(memo1set(stopped, folder / "in.txt", nullptr, &stopping, plan), EAbort);
        EXPECT_LT(stopped.WholeText().size(), doc.WholeText().size()) << plan.threads;
    }
}

TEST(Load, AFailedReadKeepsTheLinesBeforeIt) {
    std::string content;
    for (int i = 0; i < 10000; ++i) content += "line " + std::to_string(i) + "\r\n";
    ASSERT_GT(content.size(), 64u * 1024);
    sys::Calls calls = sys::systemCalls();
    calls.read = [](int fd, void* buf, std::size_t count) -> ssize_t {
        static int reads = 0;
        if (++reads == 2) {
            errno = EIO;
            return -1;
        }
        return sys::systemCalls().read(fd, buf, count);
    };
    testing::TempFolder folder;
    testing::writeFile(folder / "in.txt", content);
    Document doc;
    int descriptors = testing::openDescriptorCount();
    {
        sys::ScopedCalls scope(calls);
        try {
            memo1set(doc, folder / "in.txt", nullptr, nullptr, ReadPlan{64 * 1024, 2, false});
            FAIL() << "no error";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, 1117);
            EXPECT_STREQ(e.what(), "I/O エラー (1117)");
        }
    }
    EXPECT_EQ(testing::openDescriptorCount(), descriptors);
    // Every complete line of the first 64 KiB piece is in; the one it cut is not.
    std::size_t complete = content.rfind('\n', 64 * 1024 - 1) + 1;
    EXPECT_EQ(linesOf(doc), loadedLines(content.substr(0, complete)));
}

}  // namespace
}  // namespace velmor
