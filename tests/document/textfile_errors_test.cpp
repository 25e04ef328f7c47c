#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "document/errors.h"
#include "document/ioerror.h"
#include "document/loadsave.h"
#include "document/textfile.h"
#include "support/faultinjector.h"
#include "support/smalltmpfs.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

// Runs `step`, which must raise EInOutError, and checks its code and message.
void expectIoError(const std::function<void()>& step, int code, const std::string& message) {
    try {
        step();
        ADD_FAILURE() << "no error, expected code " << code;
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, code);
        EXPECT_EQ(e.message(), message);
    }
}

const std::string kNotFound = "ファイルが見つかりません";
const std::string kBadName = "不正なファイル名です";
const std::string kDenied = "ファイルへのアクセスが拒否されました";

Document oneLine() {
    Document doc;
    doc.AppendLine("new ");
    return doc;
}

// Makes a listening Unix socket at `path`; returns its descriptor.
int makeSocket(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
}

TEST(IoErrorTable, CodesAndMessages) {
    EXPECT_EQ(ioErrorCode(ENOENT), 2);
    EXPECT_EQ(ioErrorCode(ENOTDIR), 3);
    for (int err : {EMFILE, ENFILE}) EXPECT_EQ(ioErrorCode(err), 4);
    for (int err : {EACCES, EPERM, EROFS, EISDIR}) EXPECT_EQ(ioErrorCode(err), 5);
    for (int err : {ENOSPC, EDQUOT}) EXPECT_EQ(ioErrorCode(err), 112);
    for (int err : {EBUSY, ETXTBSY}) EXPECT_EQ(ioErrorCode(err), 32);
    EXPECT_EQ(ioErrorCode(ENAMETOOLONG), 206);
    EXPECT_EQ(ioErrorCode(EIO), 1117);  // not 5, which EIO's own number would suggest
    EXPECT_EQ(ioErrorCode(ENOTSUP + 0), 10000 + ENOTSUP);

    EXPECT_EQ(ioErrorMessage(2), kNotFound);
    EXPECT_EQ(ioErrorMessage(3), kBadName);
    EXPECT_EQ(ioErrorMessage(4), "オープンしたファイルが多すぎます");
    EXPECT_EQ(ioErrorMessage(5), kDenied);
    EXPECT_EQ(ioErrorMessage(112), "I/O エラー (112)");
    EXPECT_EQ(ioErrorMessage(1), "I/O エラー (1)");
}

TEST(IoErrorTable, CheckIoRaisesThePendingCodeOnce) {
    TextFileRec file;
    AssignName(file, "named.txt");
    CheckIo(file);
    PendingIoError = 32;
    try {
        CheckIo(file);
        ADD_FAILURE() << "no error raised";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 32);
        EXPECT_EQ(e.message(), "I/O エラー (32)");
        EXPECT_EQ(e.FileName, "named.txt");
    }
    EXPECT_EQ(PendingIoError, 0);
    CheckIo(file);
}

TEST(LoadErrors, EachCauseGivesItsCodeAndAppendsNothing) {
    TempFolder folder;
    writeFile(folder / "file", "x\r\n");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
    int sock = makeSocket(folder / "sock");
    bool haveDevice = ::mknod((folder / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
    const std::string longName(255, 'n');
    writeFile(folder / longName, "long\r\n");

    struct Case {
        std::string path;
        int code;
    };
    std::vector<Case> cases = {
        {folder / "missing", 2}, {folder / "nofolder/x", 3},
        {folder / "file/x", 3},  {"", 3},
        {folder.path(), 5},      {folder / "fifo", 105},
        {folder / "sock", 105},  {folder / (longName + "x"), 206},
    };
    if (haveDevice) cases.push_back({folder / "null", 105});
    int descriptors = testing::openDescriptorCount();
    for (const Case& c : cases) {
        Document doc;
        expectIoError([&] { memo1set(doc, c.path); }, c.code, ioErrorMessage(c.code));
        EXPECT_EQ(doc.WholeText(), "") << c.path;
    }
    EXPECT_EQ(testing::openDescriptorCount(), descriptors);
    ::close(sock);

    Document doc;
    memo1set(doc, folder / longName);  // the longest name the file system takes
    EXPECT_EQ(doc.WholeText(), "long \r\n");
}

TEST(LoadErrors, TooManyOpenFiles) {
    TempFolder folder;
    writeFile(folder / "file", "x");
    for (int err : {EMFILE, ENFILE}) {
        testing::FaultInjector faults;
        faults.failNth(sys::Call::Open, 1, err);
        Document doc;
        expectIoError([&] { memo1set(doc, folder / "file"); }, 4,
                      "オープンしたファイルが多すぎます");
    }
}

// Every failed save below must leave the target, the folder and the process's
// descriptors as they were.
class SaveErrors : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFile(target_, old_);
        ASSERT_EQ(::chmod(target_.c_str(), 0644), 0);
        before_ = folder_.entries();
        descriptors_ = testing::openDescriptorCount();
    }
    void expectUnchanged() {
        EXPECT_EQ(readFile(target_), old_);
        EXPECT_EQ(folder_.entries(), before_);
        EXPECT_EQ(testing::openDescriptorCount(), descriptors_);
    }
    void expectSaveFails(int code) {
        expectIoError([&] { memo1_get_out(oneLine(), target_); }, code, ioErrorMessage(code));
        expectUnchanged();
    }

    TempFolder folder_;
    std::string target_ = folder_ / "target.txt";
    std::string old_ = "old content\r\n\r\n";
    std::set<std::string> before_;
    int descriptors_ = 0;
};

TEST_F(SaveErrors, ReadOnlyFileIsRefusedEvenForRoot) {
    ASSERT_EQ(::chmod(target_.c_str(), 0444), 0);
    expectSaveFails(5);
    std::filesystem::create_symlink(target_, folder_ / "link");
    before_ = folder_.entries();
    expectIoError([&] { memo1_get_out(oneLine(), folder_ / "link"); }, 5, kDenied);
    expectUnchanged();
}

TEST_F(SaveErrors, EntriesThatAreNotRegularFiles) {
    std::filesystem::create_directory(folder_ / "sub");
    ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0666), 0);
    int sock = makeSocket(folder_ / "sock");
    bool haveDevice = ::mknod((folder_ / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
    before_ = folder_.entries();
    expectIoError([&] { memo1_get_out(oneLine(), folder_ / "sub"); }, 5, kDenied);
    expectIoError([&] { memo1_get_out(oneLine(), folder_.path() + "/"); }, 5, kDenied);
    // Neither blocks, although no one reads the FIFO.
    expectIoError([&] { memo1_get_out(oneLine(), folder_ / "fifo"); }, 105, "I/O エラー (105)");
    expectIoError([&] { memo1_get_out(oneLine(), folder_ / "sock"); }, 105, "I/O エラー (105)");
    if (haveDevice) {
        expectIoError([&] { memo1_get_out(oneLine(), folder_ / "null"); }, 105, "I/O エラー (105)");
        EXPECT_TRUE(std::filesystem::is_character_file(folder_ / "null"));
    }
    EXPECT_TRUE(std::filesystem::is_fifo(folder_ / "fifo"));
    ::close(sock);
    expectUnchanged();
}

TEST_F(SaveErrors, MissingFolders) {
    expectIoError([&] { memo1_get_out(oneLine(), folder_ / "no/such.txt"); }, 3, kBadName);
    expectIoError([&] { memo1_get_out(oneLine(), target_ + "/x"); }, 3, kBadName);
    expectIoError([&] { memo1_get_out(oneLine(), ""); }, 3, kBadName);
    expectUnchanged();
}

TEST_F(SaveErrors, AFailingStepLeavesTheOldFile) {
    struct Case {
        sys::Call call;
        int err;
        int code;
        int n = 1;
    };
    const Case cases[] = {
        {sys::Call::Lstat, EACCES, 5},     {sys::Call::TmpFile, ENOSPC, 112},
        {sys::Call::TmpFile, EDQUOT, 112}, {sys::Call::TmpFile, EMFILE, 4},
        {sys::Call::LinkTemp, EIO, 1117},  {sys::Call::Write, ENOSPC, 112},
        {sys::Call::Write, EFBIG, 223},    {sys::Call::Fsync, EIO, 1117},
        {sys::Call::Close, EIO, 1117, 2},  // the first closes the old file, unused
        {sys::Call::RenameAt, EXDEV, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "call " << static_cast<int>(c.call) << " errno " << c.err);
        testing::FaultInjector faults;
        faults.failNth(c.call, c.n, c.err);
        expectSaveFails(c.code);
    }
}

TEST_F(SaveErrors, AFailedWriteOfAnyBlockLeavesTheOldFile) {
    Document big;
    // Three chunks (written on a thread of their own), the last with the final line end.
    for (int i = 0; i < 60000; ++i) big.AppendLine(std::string(40, 'b') + " ");
    for (int n : {1, 2, 3}) {
        testing::FaultInjector faults;
        faults.failNth(sys::Call::Write, n, ENOSPC);
        expectIoError([&] { memo1_get_out(big, target_); }, 112, "I/O エラー (112)");
        expectUnchanged();
    }
}

// Another file renamed over the target between the save's open and its replacing of
// the entry: the entry is no longer the file the kernel let it write, and is left alone.
std::string renamedOver;  // the target; "other.txt" beside it is renamed over it
int openThenRenameOver(const char* path, int flags, mode_t mode) {
    const int fd = sys::systemCalls().createTemp(path, flags, mode);
    if (fd >= 0 && (flags & O_ACCMODE) == O_WRONLY && path == renamedOver) {
        const std::string other = renamedOver.substr(0, renamedOver.rfind('/')) + "/other.txt";
        ::rename(other.c_str(), path);
    }
    return fd;
}

TEST_F(SaveErrors, AnEntryReplacedAfterTheOpenIsLeftAlone) {
    writeFile(folder_ / "other.txt", "another file\r\n");
    renamedOver = target_;
    sys::Calls calls = sys::systemCalls();
    calls.createTemp = openThenRenameOver;
    {
        sys::ScopedCalls scope(calls);
        expectIoError([&] { memo1_get_out(oneLine(), target_); }, 5, kDenied);
    }
    EXPECT_EQ(readFile(target_), "another file\r\n");
    EXPECT_EQ(folder_.entries(), before_);
    EXPECT_EQ(testing::openDescriptorCount(), descriptors_);
}

TEST_F(SaveErrors, InPlaceWritingClaimsTheSpaceBeforeTouchingTheFile) {
    testing::FaultInjector faults;
    faults.failNth(sys::Call::TmpFile, 1, EACCES);
    faults.failNth(sys::Call::Fallocate, 1, ENOSPC);
    expectSaveFails(112);
    EXPECT_EQ(faults.count(sys::Call::Write), 0);
}

TEST_F(SaveErrors, WithoutANewFileAMissingTargetIsNotCreatedInPlace) {
    testing::FaultInjector faults;
    faults.failNth(sys::Call::TmpFile, 1, EACCES);
    expectIoError([&] { memo1_get_out(oneLine(), folder_ / "new.txt"); }, 5, kDenied);
    expectUnchanged();
}

// A real full disk where a small tmpfs can be mounted (root on Linux); the
// injected ENOSPC above covers machines where it cannot.
TEST(FullDisk, SaveOnASmallTmpfsFailsWith112AndKeepsTheOldFile) {
    TempFolder folder;
    testing::SmallTmpfs disk(folder.path());
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.why();
    const std::string target = folder / "target.txt";
    writeFile(target, "old\r\n\r\n");
    Document big;
    for (int i = 0; i < 4000; ++i) big.AppendLine(std::string(60, 'f') + " ");
    expectIoError([&] { memo1_get_out(big, target); }, 112, "I/O エラー (112)");
    EXPECT_EQ(readFile(target), "old\r\n\r\n");
    EXPECT_EQ(folder.entries(), std::set<std::string>{"target.txt"});
}

TEST(FileExists, AnyEntryButAFolder) {
    TempFolder folder;
    writeFile(folder / "file", "");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
    std::filesystem::create_symlink("file", folder / "link");
    std::filesystem::create_symlink("nothing", folder / "dangling");
    EXPECT_TRUE(fileExists(folder / "file"));
    EXPECT_TRUE(fileExists(folder / "fifo"));
    EXPECT_TRUE(fileExists(folder / "link"));
    EXPECT_FALSE(fileExists(folder / "dangling"));
    EXPECT_FALSE(fileExists(folder.path()));
    EXPECT_FALSE(fileExists(folder / "missing"));
}

}  // namespace
}  // namespace velmor
