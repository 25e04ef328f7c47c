// What the system decides about a save, tried with real users, links, ACLs and
// limits where the tests run as root, and with injected faults everywhere.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "document/errors.h"
#include "document/ioerror.h"
#include "document/keptfiles.h"
#include "document/loadsave.h"
#include "document/outputsink.h"
#include "support/faultinjector.h"
#include "support/loopext4.h"
#include "support/otherprocess.h"
#include "support/smalltmpfs.h"
#include "support/statefolder.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::readFile;
using testing::runInChild;
using testing::TempFolder;
using testing::writeFile;

constexpr uid_t kOwner = 4101;
constexpr uid_t kOther = 4102;
constexpr gid_t kOwnerGroup = 4201;
constexpr gid_t kOtherGroup = 4202;
constexpr gid_t kShared = 4203;

#define REQUIRE_ROOT() \
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users and set inode flags"

Document bigDocument() {
    Document doc;
    for (int i = 0; i < 5000; ++i) doc.AppendLine("new line " + std::to_string(i) + " ");
    return doc;
}

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

int saveAs(uid_t uid, gid_t gid, std::vector<gid_t> groups, const std::string& path) {
    auto outcome = runInChild(uid, gid, groups, [&] { memo1_get_out(bigDocument(), path); });
    EXPECT_TRUE(outcome.started && outcome.exited);
    return outcome.ioError;
}

// Sets or clears an inode flag (FS_IMMUTABLE_FL, FS_APPEND_FL); false where the file
// system has none.
bool setInodeFlag(const std::string& path, int flag, bool on) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | flag : flags & ~flag;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) ::close(fd);
    return done;
}

std::string aclText(const std::string& path) {
    acl_t acl = ::acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl) return "";
    char* text = ::acl_to_text(acl, nullptr);
    std::string result = text ? text : "";
    ::acl_free(text);
    ::acl_free(acl);
    return result;
}

TEST(Refusals, AFileTheUserMayNotWriteStaysAsItWas) {
    REQUIRE_ROOT();
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);  // not sticky: anyone may rename
    const std::string file = folder / "theirs.txt";
    writeFile(file, "old");
    ASSERT_EQ(::chown(file.c_str(), kOwner, kOwnerGroup), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    EXPECT_EQ(saveAs(kOther, kOtherGroup, {}, file), kIoAccessDenied);
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(statOf(file).st_uid, kOwner);
    EXPECT_EQ(folder.entries(), std::set<std::string>{"theirs.txt"});

    // Immutable and append-only files refuse even root.
    ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
    for (int flag : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
        if (!setInodeFlag(file, flag, true)) GTEST_SKIP() << "no inode flags on this file system";
        EXPECT_EQ(saveAs(-1, -1, {}, file), kIoAccessDenied);
        setInodeFlag(file, flag, false);
        EXPECT_EQ(readFile(file), "old");
        EXPECT_EQ(folder.entries(), std::set<std::string>{"theirs.txt"});
    }
}

// A kernel setting (a file under /proc/sys) set to 1 for the test's lifetime.
class KernelSetting {
  public:
    explicit KernelSetting(const char* knob) : knob_(knob) {
        std::ifstream(knob) >> before_;
        on_ = before_ == "1" || static_cast<bool>(std::ofstream(knob) << "1\n");
    }
    ~KernelSetting() {
        if (on_ && before_ != "1") std::ofstream(knob_) << before_ << "\n";
    }
    KernelSetting(const KernelSetting&) = delete;
    KernelSetting& operator=(const KernelSetting&) = delete;
    bool on() const { return on_; }

  private:
    const char* knob_;
    std::string before_;
    bool on_ = false;
};

TEST(Refusals, ALinkPlantedInAStickyFolderIsNotFollowed) {
    REQUIRE_ROOT();
    const KernelSetting knob("/proc/sys/fs/protected_symlinks");
    if (!knob.on()) GTEST_SKIP() << "fs.protected_symlinks is off and cannot be set here";

    TempFolder folder;
    const std::string victim = folder / "victim";
    writeFile(victim, "secret");
    const std::string sticky = folder / "stk";
    ASSERT_EQ(::mkdir(sticky.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    const std::string planted = sticky + "/report.txt";
    auto plant = runInChild(kOther, kOtherGroup, {}, [&] {
        if (::symlink(victim.c_str(), planted.c_str()) != 0) throw EInOutError(1, "symlink");
    });
    ASSERT_TRUE(plant.started && plant.exited && plant.ioError == 0);

    EXPECT_TRUE(fileExists(planted));  // the overwrite question is asked
    EXPECT_EQ(saveAs(-1, -1, {}, planted), kIoAccessDenied);
    EXPECT_EQ(readFile(victim), "secret");
    EXPECT_TRUE(std::filesystem::is_symlink(planted));
}

// A file another user planted in a sticky, world-writable folder is refused, even
// to root, as the shell's ">" refuses it under fs.protected_regular (a FIFO under
// fs.protected_fifos): else what is saved goes into a file its planter owns and can
// read. Its owner may write it.
TEST(Refusals, AFilePlantedInAStickyFolderIsNotWritten) {
    REQUIRE_ROOT();
    const KernelSetting knob("/proc/sys/fs/protected_regular");
    if (!knob.on()) GTEST_SKIP() << "fs.protected_regular is off and cannot be set here";
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 01777), 0);
    const std::string planted = folder / "report.txt";
    writeFile(planted, "planted");
    ASSERT_EQ(::chown(planted.c_str(), kOther, kOtherGroup), 0);
    ASSERT_EQ(::chmod(planted.c_str(), 0666), 0);

    EXPECT_EQ(saveAs(-1, -1, {}, planted), kIoAccessDenied);
    EXPECT_EQ(saveAs(kOwner, kOwnerGroup, {}, planted), kIoAccessDenied);
    EXPECT_EQ(readFile(planted), "planted");
    EXPECT_EQ(statOf(planted).st_uid, kOther);
    EXPECT_EQ(saveAs(kOther, kOtherGroup, {}, planted), 0);
    EXPECT_EQ(readFile(planted).substr(0, 10), "new line 0");
    EXPECT_EQ(folder.entries(), std::set<std::string>{"report.txt"});

    // velmor-convert writes into a FIFO straight through: a planted one is refused the
    // same way under fs.protected_fifos, and nothing is made in its place.
    const KernelSetting fifos("/proc/sys/fs/protected_fifos");
    if (!fifos.on()) GTEST_SKIP() << "fs.protected_fifos is off and cannot be set here";
    const std::string fifo = folder / "report.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    ASSERT_EQ(::chown(fifo.c_str(), kOther, kOtherGroup), 0);
    // A reader is there, so that an open for writing does not wait for one.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const auto writeAs = [&](uid_t uid, gid_t gid) {
        auto outcome = runInChild(uid, gid, {}, [&] {
            std::unique_ptr<OutputSink> sink = openPathSink(fifo, -1, false);
            sink->write("new");
            sink->finish();
        });
        EXPECT_TRUE(outcome.started && outcome.exited);
        return outcome.ioError;
    };
    EXPECT_EQ(writeAs(-1, -1), kIoAccessDenied);
    EXPECT_EQ(writeAs(kOwner, kOwnerGroup), kIoAccessDenied);
    EXPECT_EQ(writeAs(kOther, kOtherGroup), 0);
    char got[8];
    EXPECT_EQ(::read(reader, got, sizeof got), 3);
    ::close(reader);
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"report.txt", "report.fifo"}));
}

TEST(Keeping, TheGroupAndOwnerOfASharedFile) {
    REQUIRE_ROOT();
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
    const std::string owners = folder / "owners.txt";
    const std::string mine = folder / "mine.txt";
    writeFile(owners, "old");
    writeFile(mine, "old");
    ASSERT_EQ(::chown(owners.c_str(), kOwner, kShared), 0);
    ASSERT_EQ(::chown(mine.c_str(), kOther, kShared), 0);
    ASSERT_EQ(::chmod(owners.c_str(), 0660), 0);
    ASSERT_EQ(::chmod(mine.c_str(), 0660), 0);

    // Another's file is written in place; the user's own file keeps its group.
    for (const std::string& file : {owners, mine}) {
        const struct stat before = statOf(file);
        EXPECT_EQ(saveAs(kOther, kOtherGroup, {kShared}, file), 0) << file;
        const struct stat after = statOf(file);
        EXPECT_EQ(after.st_uid, before.st_uid) << file;
        EXPECT_EQ(after.st_gid, kShared) << file;
        EXPECT_EQ(after.st_mode & 07777, 0660u) << file;
        EXPECT_EQ(readFile(file).substr(0, 10), "new line 0") << file;
    }
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"owners.txt", "mine.txt"}));
}

TEST(Keeping, AclAndExtendedAttributes) {
    TempFolder folder;
    const std::string file = folder / "acl.txt";
    writeFile(file, "old");
    acl_t acl = ::acl_from_text("u::rw-,u:4102:rw-,g::r--,m::rw-,o::---");
    ASSERT_NE(acl, nullptr);
    const bool haveAcl = ::acl_set_file(file.c_str(), ACL_TYPE_ACCESS, acl) == 0;
    ::acl_free(acl);
    const bool haveXattr = ::setxattr(file.c_str(), "user.note", "kept", 4, 0) == 0;
    if (!haveAcl && !haveXattr) GTEST_SKIP() << "no ACLs or user attributes here";
    const std::string aclBefore = aclText(file);
    const mode_t modeBefore = statOf(file).st_mode;

    // Copied onto the new file, or, where that cannot be, kept by writing in place.
    for (bool copyFails : {false, true}) {
        testing::FaultInjector faults;
        if (copyFails) faults.failNth(sys::Call::CopyAcl, 1, EOPNOTSUPP);
        memo1_get_out(bigDocument(), file);
        EXPECT_EQ(aclText(file), aclBefore);
        EXPECT_EQ(statOf(file).st_mode, modeBefore);  // the group bits show the mask
        char value[8] = {};
        if (haveXattr) {
            EXPECT_EQ(::getxattr(file.c_str(), "user.note", value, sizeof value), 4);
            EXPECT_STREQ(value, "kept");
        }
        EXPECT_EQ(folder.entries(), std::set<std::string>{"acl.txt"});
    }
}

TEST(Keeping, EveryNameOfAFileSeesTheNewContent) {
    TempFolder folder;
    writeFile(folder / "a.txt", "old");
    std::filesystem::create_hard_link(folder / "a.txt", folder / "b.txt");
    memo1_get_out(bigDocument(), folder / "a.txt");
    EXPECT_EQ(readFile(folder / "b.txt"), readFile(folder / "a.txt"));
    EXPECT_EQ(statOf(folder / "a.txt").st_ino, statOf(folder / "b.txt").st_ino);
}

// The file size limit of the process is met as an error, never as SIGXFSZ, both for a
// new file and in place.
TEST(InPlace, TheFileSizeLimitKeepsTheOldFile) {
    TempFolder folder;
    const std::string old(30000, 'o');
    writeFile(folder / "a.txt", old);
    writeFile(folder / "b.txt", old);
    std::filesystem::create_hard_link(folder / "b.txt", folder / "b2.txt");
    for (const char* name : {"a.txt", "b.txt"}) {
        auto outcome = runInChild(
            -1, -1, {}, [&] { memo1_get_out(bigDocument(), folder / name); },
            [] {
                struct rlimit limit = {40000, 40000};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        EXPECT_TRUE(outcome.exited) << name << " killed by a signal";
        EXPECT_EQ(outcome.ioError, kIoFileTooLarge) << name;
        EXPECT_EQ(readFile(folder / name), old) << name;
    }
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"a.txt", "b.txt", "b2.txt"}));
}

// A full disk that cannot claim space ahead (as ext2): the writes run out of space
// midway, and the old content goes back.
TEST(InPlace, AFullDiskWithoutSpaceClaimsPutsTheOldContentBack) {
    REQUIRE_ROOT();
    TempFolder folder;
    testing::SmallTmpfs disk(folder.path());
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.why();
    const std::string old(20000, 'o');
    writeFile(folder / "a.txt", old);
    std::filesystem::create_hard_link(folder / "a.txt", folder / "b.txt");
    testing::FaultInjector faults;
    for (int n = 1; n <= 8; ++n) faults.failNth(sys::Call::Fallocate, n, EOPNOTSUPP);
    try {
        memo1_get_out(bigDocument(), folder / "a.txt");
        ADD_FAILURE() << "a 120 KB save fit in 64 KB";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, kIoDiskFull);
    }
    EXPECT_EQ(readFile(folder / "a.txt"), old);
}

// A claim for disk space that fails on a full ext4 disk has got part of it, past the
// file's end; the failed save gives all of it back, with the old content and size.
TEST(InPlace, AFailedClaimGivesItsBlocksBackOnExt4) {
    REQUIRE_ROOT();
    TempFolder folder;
    testing::LoopExt4 disk(folder.path(), 16);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount an ext4 image here";
    const std::string old(20000, 'o');
    writeFile(folder / "a.txt", old);
    std::filesystem::create_hard_link(folder / "a.txt", folder / "b.txt");
    auto freeBlocks = [&] {
        struct statvfs fs {};
        EXPECT_EQ(::statvfs(folder.path().c_str(), &fs), 0);
        return fs.f_bfree;
    };
    // All but about 2 MB taken; the save needs 6.
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(folder.path().c_str(), &fs), 0);
    const off_t filler = static_cast<off_t>(fs.f_bavail * fs.f_frsize) - (2 << 20);
    const int fd = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::posix_fallocate(fd, 0, filler), 0);
    ::close(fd);
    const auto blocksBefore = statOf(folder / "a.txt").st_blocks;
    const auto freeBefore = freeBlocks();
    Document doc;
    doc.ReplaceText(std::string(6 << 20, 'n'));
    try {
        memo1_get_out(doc, folder / "a.txt");
        ADD_FAILURE() << "a 6 MB save fit in 2 MB";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, kIoDiskFull);
    }
    EXPECT_EQ(readFile(folder / "a.txt"), old);
    EXPECT_EQ(statOf(folder / "a.txt").st_blocks, blocksBefore);
    EXPECT_EQ(freeBlocks(), freeBefore);
}

// A cancel that comes while the new content is synced, before it replaces the old,
// leaves the old file; one that comes while it replaces it is refused, and the file
// is saved. Both ways of saving: a new file, and in place.
Progress* cancelNow = nullptr;
int cancelAtTheSync(int fd) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 10000) cancelNow->cancel();  // the new content's
    return sys::systemCalls().fsync(fd);
}
int cancelAtTheRename(int dir, const char* from, const char* to) {
    if (std::string(from).starts_with(".velmor-")) cancelNow->cancel();  // the new file's
    return sys::systemCalls().renameAt(dir, from, to);
}
int cancelAtTheRecord(int dir, const char* name) {
    cancelNow->cancel();  // the kept copy's record goes once the new content is in place
    return sys::systemCalls().unlinkAt(dir, name);
}

TEST(Cancel, TakenUntilTheNewFileReplacesTheOldRefusedAfter) {
    TempFolder folder;
    const testing::ScopedStateFolder state;
    for (const bool inPlace : {false, true}) {
        for (const bool late : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "in place " << inPlace << ", late " << late);
            writeFile(folder / "a.txt", "old");
            std::filesystem::remove(folder / "b.txt");
            if (inPlace) std::filesystem::create_hard_link(folder / "a.txt", folder / "b.txt");
            Progress progress;
            cancelNow = &progress;
            sys::Calls calls = sys::systemCalls();
            if (!late) {
                calls.fsync = cancelAtTheSync;
            } else if (inPlace) {
                calls.unlinkAt = cancelAtTheRecord;
            } else {
                calls.renameAt = cancelAtTheRename;
            }
            sys::ScopedCalls scope(calls);
            if (late) {
                memo1_get_out(bigDocument(), folder / "a.txt", &progress);
                EXPECT_EQ(readFile(folder / "a.txt").substr(0, 10), "new line 0");
            } else {
                EXPECT_THROW(memo1_get_out(bigDocument(), folder / "a.txt", &progress), EAbort);
                EXPECT_EQ(readFile(folder / "a.txt"), "old");
            }
            EXPECT_EQ(progress.cancelRefused(), late);
            EXPECT_EQ(folder.entries().size(), inPlace ? 2u : 1u);
            EXPECT_TRUE(state.entries().empty());
        }
    }
}

// The second write of a save cancels it (when given its progress) or runs out of memory.
Progress* cancelOnSecondWrite = nullptr;
ssize_t endOnSecondWrite(int fd, const void* buf, std::size_t count) {
    static std::atomic<int> writes{0};
    if (++writes % 2 == 0) {
        if (cancelOnSecondWrite == nullptr) throw std::bad_alloc();
        cancelOnSecondWrite->cancel();
    }
    return sys::systemCalls().write(fd, buf, count);
}

// Where the old content cannot be put back, the error says where it is kept: in a
// file of the state folder, for a small file as for a large one.
TEST(InPlace, AFailedRestoreNamesTheKeptCopy) {
    TempFolder folder;
    const testing::ScopedStateFolder state;
    // Past two chunks, the save writes on a thread of its own: the failure and the
    // kept copy come back from there.
    Document chunks;
    for (int i = 0; i < 250000; ++i) chunks.AppendLine("line " + std::to_string(i));
    for (std::size_t size : {std::size_t{3000}, std::size_t{17} << 20}) {
        const std::string old(size, 'o');
        writeFile(folder / "a.txt", old);
        std::filesystem::remove(folder / "b.txt");
        std::filesystem::create_hard_link(folder / "a.txt", folder / "b.txt");
        testing::FaultInjector faults;
        faults.failNth(sys::Call::Write, 1, ENOSPC);
        faults.failNth(sys::Call::Ftruncate, 1, EIO);  // the restore's
        try {
            memo1_get_out(size > 3000 ? chunks : bigDocument(), folder / "a.txt");
            ADD_FAILURE() << "saved despite a full disk";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, kIoDiskFull);
            const auto kept = state.keptCopies();
            ASSERT_EQ(kept.size(), 1u);
            EXPECT_EQ(e.message(), keptCopyMessage(kIoDiskFull, kept[0]));
            EXPECT_TRUE(readFile(kept[0]) == old) << size;
            std::filesystem::remove_all(state.path());
        }
    }
    // A save cancelled after its first chunk, or ended there by a lack of memory, puts
    // the old content back at once; when that fails, the user is told so and where the
    // copy is, not that nothing happened.
    const std::string old(std::size_t{17} << 20, 'o');
    for (const bool cancelled : {true, false}) {
        writeFile(folder / "a.txt", old);
        std::filesystem::remove(folder / "b.txt");
        std::filesystem::create_hard_link(folder / "a.txt", folder / "b.txt");
        // The save checks for a cancel after each full 1 MiB chunk; the second write
        // cancels it, or runs out of memory. Putting the old content back fails.
        Progress progress;
        cancelOnSecondWrite = cancelled ? &progress : nullptr;
        sys::Calls calls = sys::systemCalls();
        calls.write = endOnSecondWrite;
        calls.ftruncate = [](int, off_t) {
            errno = EIO;
            return -1;
        };
        sys::ScopedCalls scope(calls);
        try {
            memo1_get_out(chunks, folder / "a.txt", &progress);
            ADD_FAILURE() << "a save ended early ran to its end";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, ioErrorCode(EIO));
            const auto kept = state.keptCopies();
            ASSERT_EQ(kept.size(), 1u);
            EXPECT_EQ(e.message(), keptCopyMessage(ioErrorCode(EIO), kept[0]));
            EXPECT_TRUE(readFile(kept[0]) == old);
            std::filesystem::remove_all(state.path());
        }
    }
}

TEST(Leftovers, AnAppendOnlyFolderIsWrittenInPlace) {
    REQUIRE_ROOT();
    TempFolder folder;
    const std::string sub = folder / "log";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    writeFile(sub + "/a.txt", "old");
    if (!setInodeFlag(sub, FS_APPEND_FL, true)) GTEST_SKIP() << "no inode flags here";
    struct Clear {
        std::string path;
        ~Clear() { setInodeFlag(path, FS_APPEND_FL, false); }
    } clear{sub};
    memo1_get_out(bigDocument(), sub + "/a.txt");
    EXPECT_EQ(readFile(sub + "/a.txt").substr(0, 10), "new line 0");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sub), {}), 1);
}

// A process killed while the new file is synced leaves no file behind.
TEST(Leftovers, AProcessKilledDuringTheSaveLeavesNothing) {
    TempFolder folder;
    writeFile(folder / "a.txt", "old");
    auto outcome = runInChild(-1, -1, {}, [&] {
        sys::Calls calls = sys::systemCalls();
        calls.fsync = [](int) -> int { ::_exit(3); };
        sys::ScopedCalls scope(calls);
        memo1_get_out(bigDocument(), folder / "a.txt");
        memo1_get_out(bigDocument(), folder / "new.txt");
    });
    EXPECT_FALSE(outcome.exited);
    EXPECT_EQ(readFile(folder / "a.txt"), "old");
    EXPECT_EQ(folder.entries(), std::set<std::string>{"a.txt"});
}

// Where the file system makes no unnamed files (a FUSE mount), a process killed
// while it writes the new file leaves it under its name, which a record in the state
// folder tells: the next start removes it. Without O_TMPFILE stands in for such a
// file system, _exit in the sync for the kill.
TEST(Leftovers, ANamedNewFileOfAKilledProcessGoesAtTheNextStart) {
    TempFolder folder;
    const testing::ScopedStateFolder state;
    writeFile(folder / "a.txt", "old");
    auto outcome = runInChild(-1, -1, {}, [&] {
        sys::Calls calls = sys::systemCalls();
        calls.tmpFile = [](int, int, mode_t) -> int {
            errno = EOPNOTSUPP;
            return -1;
        };
        calls.fsync = [](int fd) -> int {
            struct stat st;
            if (::fstat(fd, &st) == 0 && st.st_size > 10000) ::_exit(3);  // the new file's
            return sys::systemCalls().fsync(fd);
        };
        sys::ScopedCalls scope(calls);
        memo1_get_out(bigDocument(), folder / "a.txt");
    });
    EXPECT_FALSE(outcome.exited);
    EXPECT_EQ(readFile(folder / "a.txt"), "old");
    EXPECT_EQ(folder.entries().size(), 2u);  // the new file, under its name
    EXPECT_TRUE(findKeptFiles().empty());
    EXPECT_EQ(folder.entries(), std::set<std::string>{"a.txt"});
    EXPECT_TRUE(state.entries().empty());
}

// Another program appending to or cutting the file while it is read.
TEST(Load, AFileChangedWhileReadFailsTheLoad) {
    TempFolder folder;
    static std::string path;
    path = folder / "in.txt";
    for (bool grow : {true, false}) {
        writeFile(path, std::string(100000, 'x') + "\r\n");
        sys::Calls calls = sys::systemCalls();
        calls.read = grow ? [](int fd, void* buf, std::size_t count) -> ssize_t {
            // Another program keeps appending.
            std::ofstream(path, std::ios::app) << std::string(count, 'm');
            return sys::systemCalls().read(fd, buf, count);
        }
        : [](int fd, void* buf, std::size_t count) -> ssize_t {
              std::filesystem::resize_file(path, 10);
              return sys::systemCalls().read(fd, buf, count);
          };
        sys::ScopedCalls scope(calls);
        Document doc;
        try {
            memo1set(doc, path);
            ADD_FAILURE() << "loaded a file that changed, grow " << grow;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, kIoFileChanged);
            EXPECT_EQ(e.message(), "読み込み中にファイルが変更されました");
        }
    }
}

}  // namespace
}  // namespace velmor
