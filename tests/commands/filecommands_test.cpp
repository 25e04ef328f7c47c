#include "commands/filecommands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include <filesystem>
#include <iterator>
#include <set>

#include "commands/filenametext.h"
#include "document/errors.h"
#include "document/syscalls.h"
#include "support/otherprocess.h"
#include "support/scripteddialogs.h"
#include "support/statefolder.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::readFile;
using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::writeFile;

// Cancel pressed while the new file is renamed over the old one.
Progress* pressedWhileRenaming = nullptr;
int renameWithCancel(int dir, const char* from, const char* to) {
    pressedWhileRenaming->cancel();
    return sys::systemCalls().renameAt(dir, from, to);
}

struct FakeHost : FileCommandHost {
    void setFileItemsEnabled(bool enabled) override { itemsEnabled = enabled; }
    void terminateApplication() override { terminated = true; }
    // Cancel pressed as soon as a load or save began, when `cancelSteps` is set; while
    // the new file replaces the old, with `cancelWhileReplacing`.
    void runLongStep(StepKind, Progress& progress, const std::function<void()>& step) override {
        if (cancelSteps) progress.cancel();
        if (!cancelWhileReplacing) return step();
        sys::Calls calls = sys::calls();
        pressedWhileRenaming = &progress;
        calls.renameAt = renameWithCancel;
        sys::ScopedCalls scope(calls);
        step();
    }
    bool cancelSteps = false;
    bool cancelWhileReplacing = false;
    bool itemsEnabled = false;
    bool terminated = false;
};

const char kSaveQuestion[] = "ファイルが更新されています。保存しますか？";

class FileCommandsTest : public ::testing::Test {
  protected:
    // A Document holding "abc " and marked modified, as after a conversion.
    void openModified() {
        writeFile(source, "abc\r\n");
        dialogs.choose(source);
        commands.Open1Click();
        ws.document.SetModifiedMark(true);
        dialogs.questions.clear();
    }

    TempFolder dir;
    std::string source = dir / "source.txt";
    std::string target = dir / "target.txt";
    Workspace ws;
    ScriptedDialogs dialogs;
    FakeHost host;
    FileCommands commands{ws, dialogs, host};
};

TEST_F(FileCommandsTest, OpenLoadsResetsStateAndEnablesItems) {
    writeFile(source, "a\r\nb");
    ws.state.ToSjisDone = 1;
    ws.state.ToVelmorDone = 1;
    dialogs.choose(source);
    commands.Open1Click();
    EXPECT_EQ(ws.document.WholeText(), "a \r\nb \r\n");
    EXPECT_FALSE(ws.document.ModifiedMark());
    EXPECT_EQ(ws.state.ToSjisDone, 0);
    EXPECT_EQ(ws.state.ToVelmorDone, 0);
    EXPECT_EQ(ws.state.OpenFileName, source);
    EXPECT_TRUE(host.itemsEnabled);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].kind, FileDialogKind::Open);
    EXPECT_EQ(dialogs.fileRequests[0].filter, "Text files (*.txt)|*.TXT|すべてのファイル(*.*)|*.*");
}

TEST_F(FileCommandsTest, OpenRefusesWhileTextIsHeldAndCancelChangesNothing) {
    dialogs.choose(std::nullopt);
    commands.Open1Click();
    EXPECT_EQ(ws.state.OpenFileName, "");
    EXPECT_FALSE(host.itemsEnabled);

    writeFile(source, "x");
    dialogs.choose(source);
    commands.Open1Click();
    dialogs.answer(mrOk);
    commands.Open1Click();  // text present, not modified: still refused
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "一旦、閉じてから開き直して下さい。");
    EXPECT_EQ(dialogs.questions[0].kind, MsgKind::Information);
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
}

// A failed Open leaves the state as at start: nothing loaded, nothing marked, both
// flags 0, Close and Save As off. Also when it failed after loading some lines,
// which saved would replace the file with its head.
TEST_F(FileCommandsTest, FailedOpenLeavesTheStateAsAtStart) {
    std::string content;
    for (int i = 0; i < 10000; ++i) content += "line " + std::to_string(i) + "\r\n";
    writeFile(source, content);
    sys::Calls calls = sys::systemCalls();
    // A first fill of 64 KiB loads some lines; the next read fails.
    calls.fstat = [](int fd, struct stat* st) {
        int result = sys::systemCalls().fstat(fd, st);
        st->st_size = 0;
        return result;
    };
    calls.read = [](int fd, void* buf, std::size_t count) -> ssize_t {
        static int reads = 0;
        if (++reads % 2 == 0) {
            errno = EIO;
            return -1;
        }
        return sys::systemCalls().read(fd, buf, count);
    };
    for (const std::string& path : {dir / "missing.txt", source}) {
        ws.state.ToSjisDone = 1;
        ws.state.ToVelmorDone = 1;
        host.itemsEnabled = true;
        dialogs.choose(path);
        sys::ScopedCalls scope(calls);
        EXPECT_THROW(commands.Open1Click(), EInOutError) << path;
        EXPECT_EQ(ws.document.WholeText(), "") << path;
        EXPECT_FALSE(ws.document.ModifiedMark()) << path;
        EXPECT_EQ(ws.state.OpenFileName, path);
        EXPECT_EQ(ws.state.ToSjisDone, 0);
        EXPECT_EQ(ws.state.ToVelmorDone, 0);
        EXPECT_FALSE(host.itemsEnabled) << path;
    }
}

TEST_F(FileCommandsTest, CancelledOpenLeavesTheStateOfAFailedOneThatReadNothing) {
    std::string text;
    for (int i = 0; i < 10000; ++i) text += "line\r\n";
    writeFile(source, text);
    host.cancelSteps = true;
    dialogs.choose(source);
    EXPECT_THROW(commands.Open1Click(), EAbort);
    EXPECT_EQ(ws.document.WholeText(), "");
    EXPECT_FALSE(ws.document.ModifiedMark());
    EXPECT_FALSE(host.itemsEnabled);
}

TEST_F(FileCommandsTest, CloseWithoutChangesAsksNothing) {
    writeFile(source, "x");
    dialogs.choose(source);
    commands.Open1Click();
    commands.Close1Click();
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(ws.document.WholeText(), "");
    EXPECT_FALSE(host.itemsEnabled);
}

// Every way the save question and the save sequence can end, for each command that
// asks it. Only a completed write or the answer No lets the work go.
enum class Ending {
    Written,
    DialogCancelled,
    OverwriteRefused,
    OverwriteBoxClosed,
    AnsweredNo,
    Cancelled,
    SaveCancelled  // Cancel in the progress box while writing
};

struct Row {
    Ending ending;
    bool documentKept;  // Close: document still there and modified
    bool programEnds;   // Exit and the close query
};

const Row kRows[] = {
    {Ending::Written, false, true},          {Ending::DialogCancelled, true, false},
    {Ending::OverwriteRefused, true, false}, {Ending::OverwriteBoxClosed, true, false},
    {Ending::AnsweredNo, false, true},       {Ending::Cancelled, true, false},
    {Ending::SaveCancelled, true, false},
};

class SaveOutcomes : public FileCommandsTest, public ::testing::WithParamInterface<Row> {
  protected:
    void script(Ending ending) {
        writeFile(target, "old");
        switch (ending) {
            case Ending::Written:
                dialogs.answer(mrYes).choose(target).answer(mrYes);
                break;
            case Ending::DialogCancelled:
                dialogs.answer(mrYes).choose(std::nullopt);
                break;
            case Ending::OverwriteRefused:
                dialogs.answer(mrYes).choose(target).answer(mrNo);
                break;
            case Ending::OverwriteBoxClosed:
                dialogs.answer(mrYes).choose(target).answer(mrCancel);
                break;
            case Ending::AnsweredNo:
                dialogs.answer(mrNo);
                break;
            case Ending::Cancelled:
                dialogs.answer(mrCancel);
                break;
            case Ending::SaveCancelled:
                dialogs.answer(mrYes).choose(target).answer(mrYes);
                host.cancelSteps = true;
                break;
        }
    }
    void expectFile(Ending ending) {
        EXPECT_EQ(readFile(target), ending == Ending::Written ? "abc\r\n\r\n" : "old");
        // Nothing left beside the two files: no temporary file of a cancelled save.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  2);
        EXPECT_TRUE(dialogs.allAnswersUsed());
        ASSERT_FALSE(dialogs.questions.empty());
        EXPECT_EQ(dialogs.questions[0].text, kSaveQuestion);
        EXPECT_EQ(dialogs.questions[0].buttons, MsgButtons{mbYes | mbNo | mbCancel});
    }
};

TEST_P(SaveOutcomes, Close) {
    const Row row = GetParam();
    openModified();
    script(row.ending);
    commands.Close1Click();
    expectFile(row.ending);
    EXPECT_EQ(ws.document.WholeText().empty(), !row.documentKept);
    EXPECT_EQ(host.itemsEnabled, row.documentKept);
    if (row.documentKept) {
        EXPECT_TRUE(ws.document.ModifiedMark());
    }
}

TEST_P(SaveOutcomes, Exit) {
    const Row row = GetParam();
    openModified();
    script(row.ending);
    commands.Exit1Click();
    expectFile(row.ending);
    EXPECT_EQ(host.terminated, row.programEnds);
    EXPECT_FALSE(ws.document.WholeText().empty());
}

TEST_P(SaveOutcomes, CloseQuery) {
    const Row row = GetParam();
    openModified();
    script(row.ending);
    bool CanClose = true;
    commands.closequery(CanClose);
    expectFile(row.ending);
    EXPECT_EQ(CanClose, row.programEnds);
    EXPECT_FALSE(host.terminated);  // closing the window ends the program, not the query
}

INSTANTIATE_TEST_SUITE_P(AllEndings, SaveOutcomes, ::testing::ValuesIn(kRows));

TEST_F(FileCommandsTest, UnmodifiedDocumentLetsExitAndCloseQueryGoWithoutAsking) {
    writeFile(source, "x");
    dialogs.choose(source);
    commands.Open1Click();
    bool CanClose = true;
    commands.closequery(CanClose);
    EXPECT_TRUE(CanClose);
    commands.Exit1Click();
    EXPECT_TRUE(host.terminated);
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(FileCommandsTest, SaveAsWritesWhateverTheMarkAndAsksOnlyAboutOverwriting) {
    dialogs.answer(mrOk);
    commands.SaveAs1Click();  // no document
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "ファイルを開いて下さい。");

    writeFile(source, "abc");
    dialogs.choose(source);
    commands.Open1Click();
    dialogs.questions.clear();
    dialogs.choose(target);  // new file: no question
    commands.SaveAs1Click();
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(readFile(target), "abc\r\n\r\n");
    EXPECT_EQ(ws.state.SaveFileName, target);
    EXPECT_EQ(dialogs.fileRequests.back().filter, "すべて (*.*)|*.*");

    // The save dialog shows the last path; an existing file is named in the question.
    ws.document.SetModifiedMark(true);
    dialogs.choose(target).answer(mrNo);
    commands.SaveAs1Click();
    EXPECT_EQ(dialogs.fileRequests.back().shownName, target);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text, "target.txtは既存です。上書きしますか？");
    EXPECT_EQ(dialogs.questions[0].buttons, MsgButtons{mbYes | mbNo});
    EXPECT_TRUE(ws.document.ModifiedMark());

    dialogs.choose(target).answer(mrYes);
    commands.SaveAs1Click();
    EXPECT_FALSE(ws.document.ModifiedMark());
}

TEST_F(FileCommandsTest, FailedWriteKeepsTheDocumentTheMenuAndTheProgram) {
    openModified();
    const std::string folder = dir / "folder";
    std::filesystem::create_directory(folder);
    dialogs.answer(mrYes).choose(folder);
    EXPECT_THROW(commands.Close1Click(), EInOutError);
    EXPECT_FALSE(ws.document.WholeText().empty());
    EXPECT_TRUE(ws.document.ModifiedMark());
    EXPECT_TRUE(host.itemsEnabled);
    EXPECT_EQ(ws.state.SaveFileName, folder);

    dialogs.answer(mrYes).choose(folder);
    EXPECT_THROW(commands.Exit1Click(), EInOutError);
    EXPECT_FALSE(host.terminated);
}

// Names from Windows disks are Shift-JIS bytes: opened and saved by those bytes, and
// named in the overwrite question as Shift-JIS; each part of a path is read alone.
TEST_F(FileCommandsTest, ShiftJisNamesOpenAndSaveByTheirBytes) {
    const std::string name = "\x83\x65\x83\x58\x83\x67.txt";  // テスト.txt in Shift-JIS
    writeFile(dir / name, "abc\r\n");
    dialogs.choose(dir / name);
    commands.Open1Click();
    EXPECT_EQ(ws.document.WholeText(), "abc \r\n");
    dialogs.choose(dir / name).answer(mrYes);
    commands.SaveAs1Click();
    EXPECT_EQ(dialogs.questions.back().text, "テスト.txtは既存です。上書きしますか？");
    EXPECT_EQ(readFile(dir / name), "abc\r\n\r\n");
    EXPECT_EQ(dir.entries(), (std::set<std::string>{name}));
    EXPECT_EQ(displayFileName("/データ/" + name), "/データ/テスト.txt");
    EXPECT_EQ(displayFileName("\xFF\x41"),
              "\xEF\xBF\xBD"
              "A");
}

// Once the new file replaces the old one, a cancel is refused: the save ends as
// saved, and a box says so.
TEST_F(FileCommandsTest, ACancelTooLateIsRefusedAndTheBoxSaysTheFileWasSaved) {
    openModified();
    writeFile(target, "old");
    host.cancelWhileReplacing = true;
    dialogs.choose(target).answer(mrYes).answer(mrOk);
    commands.SaveAs1Click();
    EXPECT_EQ(readFile(target), "abc\r\n\r\n");
    EXPECT_FALSE(ws.document.ModifiedMark());
    ASSERT_EQ(dialogs.questions.size(), 2u);  // the overwrite question, then the box
    EXPECT_EQ(dialogs.questions[1].text,
              "キャンセルできませんでした。\r\nファイルは保存されました。");
    EXPECT_EQ(dialogs.questions[1].kind, MsgKind::Information);
}

// A run killed while it wrote a file in place left the old content kept: the next
// start names the file and the copy, and puts it back (Yes), drops it (No) or asks
// again at the start after (Cancel).
TEST_F(FileCommandsTest, AnInterruptedWriteIsOfferedBackAtTheNextStart) {
    const testing::ScopedStateFolder state;
    Document big;
    big.ReplaceText(std::string(1 << 20, 'n'));
    const auto interruptedSave = [&] {
        writeFile(target, "old\r\n");
        std::filesystem::remove(dir / "second.txt");
        std::filesystem::create_hard_link(target, dir / "second.txt");
        testing::runInChild(-1, -1, {}, [&] {
            sys::Calls calls = sys::systemCalls();
            calls.write = [](int fd, const void* data, std::size_t size) -> ssize_t {
                sys::systemCalls().write(fd, data, size);
                ::_exit(3);
            };
            sys::ScopedCalls scope(calls);
            memo1_get_out(big, target);
        });
        ASSERT_NE(readFile(target), "old\r\n");
    };
    for (const int answer : {mrCancel, mrNo, mrYes}) {
        SCOPED_TRACE(answer);
        if (answer != mrNo) interruptedSave();  // after Cancel it is asked again
        dialogs.questions.clear();
        dialogs.answer(answer);
        commands.offerKeptFiles();
        ASSERT_EQ(dialogs.questions.size(), 1u);
        const ScriptedDialogs::Question& question = dialogs.questions[0];
        ASSERT_EQ(state.keptCopies().size(), answer == mrCancel ? 1u : 0u);
        EXPECT_EQ(question.kind, MsgKind::Confirmation);
        EXPECT_EQ(question.buttons, mbYes | mbNo | mbCancel);
        EXPECT_NE(
            question.text.find("前回、次のファイルへの書き込みが中断されました。\r\n" + target),
            std::string::npos)
            << question.text;
        EXPECT_NE(question.text.find("元の内容は次のファイルに残してあります。\r\n" + state.path()),
                  std::string::npos)
            << question.text;
        EXPECT_EQ(readFile(target) == "old\r\n", answer == mrYes);
        EXPECT_EQ(readFile(dir / "second.txt"), readFile(target));
    }
    EXPECT_TRUE(state.entries().empty());
    dialogs.questions.clear();
    commands.offerKeptFiles();
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST(BareFileName, IsThePartAfterTheLastSlash) {
    EXPECT_EQ(bareFileName("/data/a.txt"), "a.txt");
    EXPECT_EQ(bareFileName("a.txt"), "a.txt");
    EXPECT_EQ(bareFileName("/data/dir/"), "");
}

}  // namespace
}  // namespace velmor
