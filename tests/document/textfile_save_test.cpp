#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "document/loadsave.h"
#include "support/bytes.h"
#include "support/faultinjector.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::bytes;
using testing::readFile;
using testing::writeFile;

Document withLines(std::initializer_list<std::string> lines) {
    Document doc;
    for (const auto& line : lines) doc.AppendLine(line);
    return doc;
}

std::string save(const Document& doc) {
    testing::TempFolder folder;
    memo1_get_out(doc, folder / "out.txt");
    EXPECT_EQ(folder.entries(), std::set<std::string>{"out.txt"});
    return readFile(folder / "out.txt");
}

TEST(Save, Format) {
    EXPECT_EQ(save(withLines({"a ", "b "})), "a\r\nb\r\n\r\n");
    EXPECT_EQ(save(Document{}), "\r\n");
    EXPECT_EQ(save(withLines({""})), "\r\n\r\n");
    EXPECT_EQ(save(withLines({" ", "x"})), "\r\nx\r\n\r\n");
    // Only the appended space is dropped: a converted line may end in a double-byte
    // character whose first byte would otherwise dangle.
    EXPECT_EQ(save(withLines({bytes({'A', 0x88, 0x9F})})),
              bytes({'A', 0x88, 0x9F, 13, 10, 13, 10}));
    EXPECT_EQ(save(withLines({"a  "})), "a \r\n\r\n");
    EXPECT_EQ(save(withLines({bytes({'a', 0, 'b', ' '})})), bytes({'a', 0, 'b', 13, 10, 13, 10}));
}

TEST(Save, TextWithoutFinalLineEnd) {
    Document doc;
    doc.ReplaceText("a \r\nb ");
    EXPECT_EQ(save(doc), "a\r\nb\r\n\r\n");
}

TEST(Save, ReplacesTheWholeOldContent) {
    testing::TempFolder folder;
    writeFile(folder / "out.txt", std::string(100000, 'z'));
    memo1_get_out(withLines({"new "}), folder / "out.txt");
    EXPECT_EQ(readFile(folder / "out.txt"), "new\r\n\r\n");
}

TEST(Save, LargeDocumentComesBackWhole) {
    Document doc;
    std::string expected;
    for (int i = 0; i < 30000; ++i) {
        std::string line = std::to_string(i) + std::string(i % 50, 'q');
        doc.AppendLine(line + " ");
        expected += line + "\r\n";
    }
    EXPECT_EQ(save(doc), expected + "\r\n");
    // A line's appended space at every place around the edge of a 1 MiB chunk, with
    // and without a lone CR (kept) that moves where the sixteen-byte steps fall.
    for (const bool loneCr : {false, true}) {
        for (std::size_t length = (1 << 20) - 24; length < (1 << 20) + 4; ++length) {
            std::string line(length - 1, 'a');
            if (loneCr) line[5] = '\r';
            EXPECT_EQ(save(withLines({line + " ", "b "})), line + "\r\nb\r\n\r\n") << length;
        }
    }
}

TEST(LoadAndSave, RoundTrips) {
    testing::TempFolder folder;
    const std::string path = folder / "f.txt";
    auto roundTrip = [&](const std::string& content) {
        writeFile(path, content);
        Document doc;
        memo1set(doc, path);
        memo1_get_out(doc, path);
        return readFile(path);
    };
    EXPECT_EQ(roundTrip("a\r\nb\r\n"), "a\r\nb\r\n\r\n");
    EXPECT_EQ(roundTrip("a\r\nb\r\n\r\n"), "a\r\nb\r\n\r\n\r\n");  // one more line each time
    EXPECT_EQ(roundTrip("a\nb"), "a\r\nb\r\n\r\n");
    EXPECT_EQ(roundTrip("a\rb\r\n\x1a"
                        "c"),
              "ab\r\n\r\n");
    EXPECT_EQ(roundTrip(""), "\r\n");
    std::string longLine(70000, 'k');
    EXPECT_EQ(roundTrip(longLine + "\r\n"), longLine + "\r\n\r\n");
    std::string kanji = bytes({0x88, 0x9F, 0x81, 0x40, 0x00, 0xFC, 0xFC, 0x1A});
    EXPECT_EQ(roundTrip(kanji), kanji + "\r\n\r\n");
}

TEST(SafeSave, KeepsPermissionBitsAndGivesNewFilesTheUsualOnes) {
    testing::TempFolder folder;
    writeFile(folder / "old.txt", "old");
    ASSERT_EQ(::chmod((folder / "old.txt").c_str(), 0640), 0);
    memo1_get_out(withLines({"x "}), folder / "old.txt");
    struct stat st;
    ASSERT_EQ(::stat((folder / "old.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    mode_t mask = ::umask(022);
    memo1_get_out(withLines({"x "}), folder / "new.txt");
    ::umask(mask);
    ASSERT_EQ(::stat((folder / "new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(SafeSave, LinksKeepPointingToTheSavedFile) {
    testing::TempFolder folder;
    std::filesystem::create_directory(folder / "real");
    writeFile(folder / "real/data.txt", "old");
    std::filesystem::create_symlink("real/data.txt", folder / "rel");
    std::filesystem::create_symlink(folder / "rel", folder / "chain");
    std::filesystem::create_symlink("real/missing.txt", folder / "dangling");

    memo1_get_out(withLines({"one "}), folder / "chain");
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "chain"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "rel"));
    EXPECT_EQ(readFile(folder / "real/data.txt"), "one\r\n\r\n");

    memo1_get_out(withLines({"two "}), folder / "dangling");
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "dangling"));
    EXPECT_EQ(readFile(folder / "real/missing.txt"), "two\r\n\r\n");
    EXPECT_EQ(folder.entries(), (std::set<std::string>{"real", "rel", "chain", "dangling"}));
}

// A target whose path is a few bytes under PATH_MAX, in a folder whose own path is
// long, is saved over, replaced or written in place: every name the save makes is
// made relative to the folder, never as the folder's path and a name.
TEST(SafeSave, APathCloseToTheLimit) {
    testing::TempFolder folder;
    const std::size_t folderLength = PATH_MAX - 10 - std::string("/f.txt").size();
    std::string dir = folder.path();
    while (dir.size() < folderLength) {
        dir += "/" + std::string(std::min<std::size_t>(200, folderLength - dir.size() - 1), 'd');
        ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    }
    const std::string target = dir + "/f.txt";
    ASSERT_EQ(target.size(), PATH_MAX - 10u);
    for (const bool secondName : {false, true}) {
        writeFile(target, "old");
        if (secondName) {
            ASSERT_EQ(::link(target.c_str(), (dir + "/g.txt").c_str()), 0);
        }
        memo1_get_out(withLines({"new "}), target);
        EXPECT_EQ(readFile(target), "new\r\n\r\n") << secondName;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

TEST(SafeSave, WritesInPlaceWhereTheFolderRefusesANewFile) {
    for (int err : {EACCES, EPERM, EROFS}) {
        testing::TempFolder folder;
        writeFile(folder / "f.txt", std::string(5000, 'o'));
        ASSERT_EQ(::chmod((folder / "f.txt").c_str(), 0604), 0);
        testing::FaultInjector faults;
        faults.failNth(sys::Call::TmpFile, 1, err);
        memo1_get_out(withLines({"short "}), folder / "f.txt");
        EXPECT_EQ(readFile(folder / "f.txt"), "short\r\n\r\n");  // cut to its new length
        EXPECT_GT(faults.count(sys::Call::Fallocate), 0);        // space claimed: written in place
        struct stat st;
        ASSERT_EQ(::stat((folder / "f.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
        EXPECT_EQ(folder.entries(), std::set<std::string>{"f.txt"});
    }
}

}  // namespace
}  // namespace velmor
