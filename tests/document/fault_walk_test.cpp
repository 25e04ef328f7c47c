// Walks every system call of a load and of a save: a clean run counts the calls of
// each kind, then each call in turn is made to fail with each of a few errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "document/errors.h"
#include "document/loadsave.h"
#include "support/faultinjector.h"
#include "support/lines.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using sys::Call;
using testing::FaultInjector;
using testing::linesOf;
using testing::openDescriptorCount;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const char* callName(Call kind) {
    static const char* const names[] = {
        "open",   "createTemp", "read",      "write",      "fsync",      "close",
        "fstat",  "stat",       "lstat",     "readlink",   "rename",     "unlink",
        "fchmod", "fchown",     "ftruncate", "fallocate",  "tmpFile",    "linkTemp",
        "pread",  "pwrite",     "copyAcl",   "copyXattrs", "folderFlags"};
    static_assert(std::size(names) == static_cast<std::size_t>(Call::Count));
    return names[static_cast<int>(kind)];
}

// The errors injected, with the code and message the user must see for each.
struct InjectedError {
    int err;
    int code;
    const char* message;
};
const InjectedError kErrors[] = {
    {EIO, 1117, "I/O エラー (1117)"},
    {EACCES, 5, "ファイルへのアクセスが拒否されました"},
    {ENOSPC, 112, "I/O エラー (112)"},
    {EMFILE, 4, "オープンしたファイルが多すぎます"},
};

struct Fault {
    Call kind;
    int n;
    const InjectedError* error;
};

std::string describe(const Fault& f) {
    return std::string(callName(f.kind)) + " #" + std::to_string(f.n) + " failing with errno " +
           std::to_string(f.error->err);
}

// The calls of each kind that `run` makes without faults (beyond `base`).
std::map<Call, int> countCalls(const std::function<void()>& run,
                               const std::function<void(FaultInjector&)>& base = {}) {
    FaultInjector injector;
    if (base) base(injector);
    run();
    std::map<Call, int> counts;
    for (int k = 0; k < static_cast<int>(Call::Count); ++k) {
        if (injector.count(static_cast<Call>(k)) > 0) {
            counts[static_cast<Call>(k)] = injector.count(static_cast<Call>(k));
        }
    }
    return counts;
}

// Every single fault of the walk: each counted call with each injected error.
std::vector<Fault> everyFault(const std::map<Call, int>& counts) {
    std::vector<Fault> faults;
    std::string calls;
    for (const auto& [kind, count] : counts)
        calls += " " + std::to_string(count) + " " + callName(kind);
    std::printf("walking the calls:%s\n", calls.c_str());
    for (const auto& [kind, count] : counts) {
        for (int n = 1; n <= count; ++n) {
            for (const auto& error : kErrors) faults.push_back({kind, n, &error});
        }
    }
    return faults;
}

// Runs `step` under `fault`; returns false when it raised the fault's error, as it must.
// Returns true when the step succeeded instead.
bool runFaulted(const Fault& fault, const std::function<void()>& step,
                const std::function<void(FaultInjector&)>& base = {}) {
    FaultInjector injector;
    if (base) base(injector);
    injector.failNth(fault.kind, fault.n, fault.error->err);
    try {
        step();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, fault.error->code) << describe(fault);
        EXPECT_EQ(e.message(), fault.error->message) << describe(fault);
        return false;
    }
    return true;
}

// Text of many lines, larger than one block of the file layer.
std::string manyLines() {
    std::string text;
    for (int i = 0; i < 6000; ++i) text += "line " + std::to_string(i) + " \x88\x9f\r\n";
    return text;
}

TEST(FaultWalk, EveryCallOfALoad) {
    TempFolder folder;
    const std::string path = folder / "in.txt";
    const std::string content = manyLines();
    writeFile(path, content);
    Document full;
    const auto counts = countCalls([&] { memo1set(full, path); });
    const std::vector<std::string> allLines = linesOf(full);
    ASSERT_GT(allLines.size(), 1000u);

    const auto faults = everyFault(counts);
    ASSERT_GE(faults.size(), 5 * std::size(kErrors));  // stat, open, fstat, read, close at least
    for (const Fault& fault : faults) {
        const int descriptors = openDescriptorCount();
        Document doc;
        if (runFaulted(fault, [&] { memo1set(doc, path); })) {
            ADD_FAILURE() << "load succeeded despite " << describe(fault);
        }
        // Lines loaded before the failure stay, and only those.
        const std::vector<std::string> lines = linesOf(doc);
        ASSERT_LE(lines.size(), allLines.size()) << describe(fault);
        EXPECT_TRUE(std::equal(lines.begin(), lines.end(), allLines.begin())) << describe(fault);
        EXPECT_EQ(doc.ModifiedMark(), !lines.empty()) << describe(fault);
        EXPECT_EQ(openDescriptorCount(), descriptors) << describe(fault);
        EXPECT_EQ(readFile(path), content) << describe(fault);
    }
}

// One save situation: what the folder holds before, and the path saved to.
struct SaveCase {
    const char* name;
    std::function<void(TempFolder&)> prepare;
    const char* saveTo;
    const char* written;  // the file that receives the new content
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SaveCase& c, std::ostream* os) {
    *os << c.name;
}

class SaveFaultWalk : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveFaultWalk, EveryCallOfASave) {
    const SaveCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder / c.saveTo;
    const std::string target = folder / c.written;
    Document doc;
    doc.ReplaceText(manyLines());
    auto reset = [&] {
        std::filesystem::remove(folder / "old.txt");
        std::filesystem::remove(folder / "link.txt");
        c.prepare(folder);
    };

    reset();
    const auto counts = countCalls([&] { memo1_get_out(doc, path); });
    const std::string newContent = readFile(target);

    for (const Fault& fault : everyFault(counts)) {
        reset();
        const bool existed = std::filesystem::exists(target);
        const std::string before = existed ? readFile(target) : "";
        const std::set<std::string> entries = folder.entries();
        const int descriptors = openDescriptorCount();

        const bool succeeded = runFaulted(fault, [&] { memo1_get_out(doc, path); });
        EXPECT_EQ(openDescriptorCount(), descriptors) << describe(fault);
        EXPECT_EQ(folder.entries(), entries) << "a file left behind after " << describe(fault);
        // Where the folder refuses a new file, or the new file cannot take all of the old
        // one's owner, group, permissions, ACL and attributes, the old file is written in
        // place instead.
        const Call k = fault.kind;
        const bool fallsBackInPlace =
            existed &&
            ((k == Call::TmpFile && fault.error->err == EACCES) || k == Call::FolderFlags ||
             k == Call::Fchown || k == Call::Fchmod || k == Call::CopyAcl || k == Call::CopyXattrs);
        // The first close drops the old file's descriptor, which was only opened.
        const bool harmless = existed && k == Call::Close && fault.n == 1;
        if (succeeded) {
            EXPECT_TRUE(fallsBackInPlace || harmless)
                << "save succeeded despite " << describe(fault);
            EXPECT_EQ(readFile(target), newContent) << describe(fault);
            continue;
        }
        EXPECT_FALSE(fallsBackInPlace) << describe(fault);
        EXPECT_EQ(std::filesystem::exists(target), existed) << describe(fault);
        if (existed) {
            EXPECT_EQ(readFile(target), before) << describe(fault);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveFaultWalk,
    ::testing::Values(SaveCase{"NewFile", [](TempFolder&) {}, "old.txt", "old.txt"},
                      SaveCase{"OverExistingFile",
                               [](TempFolder& f) { writeFile(f / "old.txt", "old content\r\n"); },
                               "old.txt", "old.txt"},
                      SaveCase{"ThroughALink",
                               [](TempFolder& f) {
                                   writeFile(f / "old.txt", "old content\r\n");
                                   std::filesystem::create_symlink("old.txt", f / "link.txt");
                               },
                               "link.txt", "old.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file with a second name is written in place, so that both names see the new
// content. Every call of that path fails in turn: the old content, its size and its
// disk blocks come back, and nothing is left open or behind.
TEST(FaultWalk, EveryCallOfASaveInPlace) {
    TempFolder folder;
    const std::string path = folder / "old.txt";
    const std::string old = "old content\r\n";
    Document doc;
    doc.ReplaceText(manyLines());
    auto prepare = [&] {
        std::filesystem::remove(folder / "other.txt");
        writeFile(path, old);
        std::filesystem::create_hard_link(path, folder / "other.txt");
    };
    auto blocks = [&] {
        struct stat st;
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_blocks;
    };
    prepare();
    const auto counts = countCalls([&] { memo1_get_out(doc, path); });
    ASSERT_EQ(counts.count(Call::Rename), 0u) << "not written in place";
    ASSERT_EQ(readFile(folder / "other.txt"), readFile(path));

    for (const Fault& fault : everyFault(counts)) {
        prepare();
        const auto blocksBefore = blocks();
        const int descriptors = openDescriptorCount();
        FaultInjector injector;
        injector.failNth(fault.kind, fault.n, fault.error->err);
        // The descriptor of the old file is closed after its content is synced: the
        // new content stays, and the error names the copy of the old one.
        const bool afterSync = fault.kind == Call::Close && fault.n == counts.at(Call::Close);
        try {
            memo1_get_out(doc, path);
            // Closing the descriptor that only read the old content may fail unseen.
            EXPECT_EQ(fault.kind, Call::Close) << "save succeeded despite " << describe(fault);
            continue;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, fault.error->code) << describe(fault);
            const std::string kept = "\r\n元の内容は ";
            const std::size_t at = e.message().find(kept);
            EXPECT_EQ(at != std::string::npos, afterSync) << describe(fault) << e.message();
            if (at != std::string::npos) {
                const std::size_t from = at + kept.size();
                const std::string copy =
                    e.message().substr(from, e.message().find(' ', from) - from);
                EXPECT_EQ(readFile(copy), old) << describe(fault);
                std::filesystem::remove(copy);
                continue;
            }
        }
        EXPECT_EQ(readFile(path), old) << describe(fault);
        EXPECT_EQ(blocks(), blocksBefore) << describe(fault);
        EXPECT_EQ(openDescriptorCount(), descriptors) << describe(fault);
        EXPECT_EQ(folder.entries(), (std::set<std::string>{"old.txt", "other.txt"}))
            << describe(fault);
    }
}

// A read or write interrupted by a signal is repeated, not reported.
TEST(FaultWalk, InterruptedReadsAndWritesAreRepeated) {
    TempFolder folder;
    const std::string in = folder / "in.txt";
    const std::string out = folder / "out.txt";
    writeFile(in, manyLines());
    Document full;
    const auto counts = countCalls([&] {
        memo1set(full, in);
        memo1_get_out(full, out);
    });
    const std::string saved = readFile(out);
    for (Call kind : {Call::Read, Call::Write}) {
        for (int n = 1; n <= counts.at(kind); ++n) {
            std::filesystem::remove(out);
            FaultInjector injector;
            injector.failNth(kind, n, EINTR);
            Document doc;
            memo1set(doc, in);
            memo1_get_out(doc, out);
            EXPECT_EQ(doc.WholeText(), full.WholeText()) << callName(kind) << " #" << n;
            EXPECT_EQ(readFile(out), saved) << callName(kind) << " #" << n;
        }
    }
}

}  // namespace
}  // namespace velmor
