// Walks every system call of a load and of a save: a clean run counts the calls of
// each kind, then each call in turn is made to fail with each of a few errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "commands/convertfile.h"
#include "document/errors.h"
#include "document/ioerror.h"
#include "document/keptfiles.h"
#include "document/loadsave.h"
#include "support/faultinjector.h"
#include "support/lines.h"
#include "support/statefolder.h"
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
        "open",    "createTemp", "read",        "write",  "fsync",   "close",      "fstat",
        "stat",    "lstat",      "readlink",    "fchmod", "fchown",  "ftruncate",  "fallocate",
        "tmpFile", "linkTemp",   "pread",       "pwrite", "copyAcl", "copyXattrs", "folderFlags",
        "lseek",   "syncRange",  "startThread", "openAt", "fstatAt", "renameAt",   "unlinkAt",
        "mkdirAt", "flock",      "listFolder"};
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

// The walks' own state folder. The one in the temporary folder, used where the
// first cannot be, is made unusable (another user could enter it), so that a failure
// of the first is a failure of the save.
class StateFolders {
  public:
    StateFolders() {
        ::setenv("TMPDIR", tmp_.path().c_str(), 1);
        ::mkdir(state_.path().c_str(), 0700);
        const std::string fallback = tmp_ / ("velmor-kanji-" + std::to_string(::geteuid()));
        ::mkdir(fallback.c_str(), 0755);
    }
    ~StateFolders() { ::unsetenv("TMPDIR"); }
    // What the next start finds: the old contents kept for the user, which the test
    // takes away; what else is there that start removes. Nothing may be left after it.
    std::vector<std::string> nextStart(const std::string& after) const {
        std::vector<std::string> kept;
        for (KeptFile& file : findKeptFiles()) {
            kept.push_back(readFile(file.copy));
            dropKeptFile(file);
        }
        for (const std::string& name : state_.entries()) {
            ADD_FAILURE() << name << " left after the next start, after " << after;
        }
        return kept;
    }

  private:
    TempFolder tmp_;
    testing::ScopedStateFolder state_;
};

// Where the folder refuses a new file, or the new file cannot take all of the old one's
// owner, group, permissions, ACL and attributes, an existing file is written in place
// instead: such a fault changes the way, not the outcome.
bool fallsBackInPlace(const Fault& fault, bool existed) {
    const Call k = fault.kind;
    return existed &&
           ((k == Call::TmpFile && fault.error->err == EACCES) || k == Call::FolderFlags ||
            k == Call::Fchown || k == Call::Fchmod || k == Call::CopyAcl || k == Call::CopyXattrs);
}

// Faults a save may succeed despite: without a thread the work is done on the calling
// thread; a close comes after the new file was synced, or drops a descriptor that
// only read, named or locked; a removal that fails after the new content is in place
// leaves what the next start removes (a record of a temporary name, a kept copy
// whose record went).
bool harmlessOnSuccess(Call kind) {
    return kind == Call::StartThread || kind == Call::Close || kind == Call::UnlinkAt;
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
            // Without a thread the work is done on the calling thread.
            EXPECT_EQ(fault.kind, Call::StartThread)
                << "load succeeded despite " << describe(fault);
            EXPECT_TRUE(doc.WholeText() == full.WholeText()) << describe(fault);
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
    const StateFolders state;
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
        std::set<std::string> expectedEntries = entries;
        if (succeeded) expectedEntries.insert(c.written);
        EXPECT_EQ(folder.entries(), expectedEntries)
            << "a file left behind after " << describe(fault);
        EXPECT_TRUE(state.nextStart(describe(fault)).empty()) << describe(fault);
        const Call k = fault.kind;
        const bool inPlace = fallsBackInPlace(fault, existed);
        const bool harmless = harmlessOnSuccess(k);
        if (succeeded) {
            EXPECT_TRUE(inPlace || harmless) << "save succeeded despite " << describe(fault);
            EXPECT_EQ(readFile(target), newContent) << describe(fault);
            continue;
        }
        EXPECT_FALSE(inPlace) << describe(fault);
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
    const StateFolders state;
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
    ASSERT_EQ(counts.count(Call::Fallocate), 1u) << "not written in place (no space claimed)";
    ASSERT_EQ(readFile(folder / "other.txt"), readFile(path));
    const std::string newContent = readFile(path);

    for (const Fault& fault : everyFault(counts)) {
        prepare();
        const auto blocksBefore = blocks();
        const int descriptors = openDescriptorCount();
        FaultInjector injector;
        injector.failNth(fault.kind, fault.n, fault.error->err);
        try {
            memo1_get_out(doc, path);
            EXPECT_TRUE(harmlessOnSuccess(fault.kind))
                << "save succeeded despite " << describe(fault);
            EXPECT_EQ(readFile(path), readFile(folder / "other.txt")) << describe(fault);
            EXPECT_EQ(readFile(path), newContent) << describe(fault);
            EXPECT_TRUE(state.nextStart(describe(fault)).empty()) << describe(fault);
            continue;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, fault.error->code) << describe(fault);
            if (!e.KeptCopy.empty()) {
                // A step after the new content was synced failed (the record could not
                // go), or the old content could not go back: the file is whole, old or
                // new, and the copy of the old one stays, with its record, for the next
                // start.
                EXPECT_EQ(e.message(), keptCopyMessage(e.ErrorCode, e.KeptCopy));
                EXPECT_EQ(readFile(e.KeptCopy), old) << describe(fault);
                EXPECT_TRUE(readFile(path) == old || readFile(path) == newContent)
                    << describe(fault);
                EXPECT_EQ(state.nextStart(describe(fault)), std::vector<std::string>{old})
                    << describe(fault);
                continue;
            }
        }
        EXPECT_EQ(readFile(path), old) << describe(fault);
        EXPECT_EQ(blocks(), blocksBefore) << describe(fault);
        EXPECT_EQ(openDescriptorCount(), descriptors) << describe(fault);
        EXPECT_EQ(folder.entries(), (std::set<std::string>{"old.txt", "other.txt"}))
            << describe(fault);
        EXPECT_TRUE(state.nextStart(describe(fault)).empty()) << describe(fault);
    }
}

// velmor-convert's ways from input to output: one converted file, read and written a
// piece at a time through the pipeline the window uses, on threads of their own.
struct ConvertCase {
    const char* name;
    std::function<void(TempFolder&)> prepare;
    const char* input;   // "-": standard input, read from in.txt
    const char* output;  // "-": standard output, written to stdout.txt
    const char* written;
};

void PrintTo(const ConvertCase& c, std::ostream* os) {
    *os << c.name;
}

class ConvertFaultWalk : public ::testing::TestWithParam<ConvertCase> {};

// Every call of a conversion fails in turn: the file fails with the fault's code and
// names it; the target is whole, old or new; nothing is left open or behind. A
// stream keeps what it took.
TEST_P(ConvertFaultWalk, EveryCallOfAConversion) {
    const ConvertCase& c = GetParam();
    const StateFolders state;
    TempFolder folder;
    const std::string content = manyLines();
    const bool toStdout = std::string(c.output) == kStandardStream;
    const std::string target = folder / c.written;
    auto reset = [&] {
        for (const auto& name : folder.entries()) std::filesystem::remove(folder / name);
        writeFile(folder / "in.txt", content);
        c.prepare(folder);
    };
    // The standard streams are files of the test's own.
    auto run = [&] {
        sys::FileDescriptor in(::open((folder / "in.txt").c_str(), O_RDONLY | O_CLOEXEC));
        sys::FileDescriptor out(::open((folder / "stdout.txt").c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ConvertSettings settings;
        settings.direction = Direction::ToVelmor;
        settings.chunkBytes = 16 * 1024;
        settings.standardInput = in.get();
        settings.standardOutput = out.get();
        const std::string input =
            c.input == std::string(kStandardStream) ? c.input : folder / c.input;
        const std::string output = toStdout ? c.output : folder / c.output;
        return convertFile({input, output}, settings);
    };
    reset();
    FileResult clean;
    const std::map<Call, int> counts = countCalls([&] { clean = run(); });
    ASSERT_EQ(clean.outcome, FileOutcome::Converted) << clean.message;
    const std::string newContent = readFile(target);
    ASSERT_GT(newContent.size(), content.size());

    for (const Fault& fault : everyFault(counts)) {
        reset();
        const bool existed = std::filesystem::exists(target);
        const std::string before = existed ? readFile(target) : "";
        std::set<std::string> entries = folder.entries();
        entries.insert("stdout.txt");
        const int descriptors = openDescriptorCount();
        FileResult result;
        {
            FaultInjector injector;
            injector.failNth(fault.kind, fault.n, fault.error->err);
            result = run();
        }
        EXPECT_EQ(openDescriptorCount(), descriptors) << describe(fault);
        if (result.outcome == FileOutcome::Converted) {
            EXPECT_TRUE(harmlessOnSuccess(fault.kind) || fallsBackInPlace(fault, existed))
                << "converted despite " << describe(fault);
            EXPECT_EQ(readFile(target), newContent) << describe(fault);
            entries.insert(c.written);
            EXPECT_EQ(folder.entries(), entries) << describe(fault);
            EXPECT_TRUE(state.nextStart(describe(fault)).empty()) << describe(fault);
            continue;
        }
        EXPECT_EQ(folder.entries(), entries) << "a file left behind after " << describe(fault);
        EXPECT_EQ(result.outcome, FileOutcome::Failed) << describe(fault);
        if (!result.keptCopy.empty()) {
            // Written in place, the old content could not go back, or the record could
            // not go after the new content was synced: the copy is kept, with its record.
            EXPECT_EQ(readFile(result.keptCopy), before) << describe(fault);
            EXPECT_TRUE(readFile(target) == before || readFile(target) == newContent)
                << describe(fault);
            EXPECT_EQ(state.nextStart(describe(fault)), std::vector<std::string>{before})
                << describe(fault);
            continue;
        }
        EXPECT_TRUE(state.nextStart(describe(fault)).empty()) << describe(fault);
        EXPECT_EQ(result.code, fault.error->code) << describe(fault) << ": " << result.message;
        EXPECT_EQ(result.message, fault.error->message) << describe(fault);
        EXPECT_FALSE(result.path.empty()) << describe(fault);
        EXPECT_EQ(result.systemError, fault.error->err) << describe(fault);
        if (!toStdout) {
            EXPECT_EQ(std::filesystem::exists(target), existed) << describe(fault);
            if (existed) {
                EXPECT_EQ(readFile(target), before) << describe(fault);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertFaultWalk,
    ::testing::Values(
        ConvertCase{"NewFile", [](TempFolder&) {}, "in.txt", "out.txt", "out.txt"},
        ConvertCase{"OverExistingFile",
                    [](TempFolder& f) { writeFile(f / "out.txt", "old content\r\n"); }, "in.txt",
                    "out.txt", "out.txt"},
        ConvertCase{"InPlaceOverASecondName",
                    [](TempFolder& f) {
                        writeFile(f / "out.txt", "old content\r\n");
                        std::filesystem::create_hard_link(f / "out.txt", f / "other.txt");
                    },
                    "in.txt", "out.txt", "out.txt"},
        ConvertCase{"OverItsOwnInput", [](TempFolder&) {}, "in.txt", "in.txt", "in.txt"},
        ConvertCase{"StandardStreams", [](TempFolder&) {}, "-", "-", "stdout.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

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
