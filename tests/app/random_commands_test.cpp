// Drives a real main window through thousands of seeded random sequences of menu
// commands with random answers to every box and dialog, on random small files, and
// checks after every step against a small model of what the disk and the Document
// must hold. A failing sequence prints its seed; VELMOR_RANDOM_SEED=<seed> runs that
// sequence alone.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QtTest>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/errordisplay.h"
#include "app/unit1.h"
#include "commands/messages.h"
#include "convert/converters.h"
#include "document/linebreaks.h"
#include "recordederrors.h"
#include "reference/reference.h"
#include "support/bytes.h"
#include "support/lines.h"
#include "support/scripteddialogs.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::hex;
using testing::ScriptedDialogs;
using testing::TempFolder;

constexpr std::uint64_t kDefaultSeed = 20021204;
constexpr int kSequences = 3000;
constexpr int kMaxSteps = 24;

enum class Command { Open, VelmorToSjis, SjisToVelmor, SaveAs, Close, Exit, CloseWindow, About };
const char* const kCommandNames[] = {"Open",  "VELMOR->SJIS", "SJIS->VELMOR", "SaveAs",
                                     "Close", "Exit",         "CloseWindow",  "About"};

// The Document's text after loading `content`.
std::string loadedText(const std::string& content) {
    std::string text;
    for (const std::string& line : testing::loadedLines(content)) text += line + "\r\n";
    return text;
}

// The file a save writes: each line without the space loading appended, CR LF after
// each, and one more CR LF.
std::string savedContent(const std::string& text) {
    std::string out;
    LineWalker lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        out += std::string(line) + "\r\n";
    }
    return out + "\r\n";
}

struct FileState {
    std::string content;
    ino_t inode;
};

// What the window must show after each step, and what must be on disk.
struct Model {
    std::string text;
    bool mark = false;
    std::int32_t toSjisDone = 0;
    std::int32_t toVelmorDone = 0;
    bool fileItemsEnabled = false;
    bool ended = false;
    ScanState scan;
    std::map<std::string, FileState> disk;  // by name inside the folder
};

ino_t inodeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// What the sequences covered, printed so a run shows it did real work.
struct Coverage {
    int steps = 0;
    int writes = 0;
    int errors = 0;
    int conversions = 0;
    int ends = 0;
};
Coverage coverage;

class Sequence {
  public:
    explicit Sequence(std::uint64_t seed) : seed_(seed), rng_(seed) {}

    // Runs the sequence; returns a description of the first broken invariant, or "".
    std::string run() {
        makeFiles();
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        ErrorSink previous = installErrorSink(
            [this](const std::string& t) { shown_.push_back(testing::splitDetail(t).first); });
        std::string failure;
        const int steps = 1 + static_cast<int>(rng_() % kMaxSteps);
        for (int step = 0; step < steps && !model_.ended && failure.empty(); ++step) {
            const Command command = randomCommand();
            trace_ += std::string(" ") + kCommandNames[static_cast<int>(command)];
            expectedErrors_.clear();
            shown_.clear();
            dialogs = ScriptedDialogs();
            predict(command);
            queueAnswers(dialogs);
            perform(form, command);
            failure = check(form, dialogs);
            ++coverage.steps;
            coverage.errors += static_cast<int>(expectedErrors_.size());
            coverage.ends += model_.ended;
        }
        installErrorSink(previous);
        if (failure.empty()) return "";
        std::ostringstream out;
        out << "seed " << seed_ << ", steps" << trace_ << ": " << failure;
        return out.str();
    }

  private:
    std::string path(const std::string& name) const { return folder_ / name; }

    // Ending commands are rarer, so that most sequences get somewhere first.
    Command randomCommand() {
        static const Command weighted[] = {
            Command::Open,         Command::Open,         Command::Open,
            Command::VelmorToSjis, Command::VelmorToSjis, Command::SjisToVelmor,
            Command::SjisToVelmor, Command::SaveAs,       Command::SaveAs,
            Command::SaveAs,       Command::Close,        Command::Close,
            Command::Exit,         Command::CloseWindow,  Command::About};
        return weighted[rng_() % std::size(weighted)];
    }

    std::string randomContent() {
        static const std::string tokens[] = {"ab",
                                             " ",
                                             "\r\n",
                                             "\n",
                                             "\r",
                                             "\x1a",
                                             std::string(1, '\0'),
                                             "\x88\x9f",
                                             "\x81\x40",
                                             "\x93\x70\xb0\xa1\x93\xf1",
                                             "\x93\x70",
                                             "\xb1",
                                             "\xf0\x40"};
        std::string content;
        const int count = static_cast<int>(rng_() % 10);
        for (int i = 0; i < count; ++i) content += tokens[rng_() % std::size(tokens)];
        return content;
    }

    void makeFiles() {
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            if (rng_() % 4 == 0) continue;
            testing::writeFile(path(name), randomContent());
        }
        for (const auto& name : folder_.entries()) {
            model_.disk[name] = {testing::readFile(path(name)), inodeOf(path(name))};
        }
    }

    // A path a file dialog may return: an existing or new file, or one in a missing folder.
    std::string randomPath() {
        static const char* const names[] = {"a.txt", "b.txt", "c.txt",   "a.txt",
                                            "b.txt", "c.txt", "new.txt", "missing/x.txt"};
        return path(names[rng_() % std::size(names)]);
    }

    std::string nameInFolder(const std::string& fullPath) const {
        return fullPath.substr(folder_.path().size() + 1);
    }

    // An answer a user can give to a box with these buttons: one of its buttons,
    // Escape (Cancel, else No, else OK), or the close box (2).
    int randomAnswer(MsgButtons buttons) {
        std::vector<int> answers;
        if (buttons & mbYes) answers.push_back(mrYes);
        if (buttons & mbNo) answers.push_back(mrNo);
        if (buttons & mbOK) answers.push_back(mrOk);
        if (buttons & mbCancel) answers.push_back(mrCancel);
        answers.push_back((buttons & mbCancel) ? mrCancel : (buttons & mbNo) ? mrNo : mrOk);
        answers.push_back(mrCancel);
        return answers[rng_() % answers.size()];
    }

    int expectBox(const std::string& text, MsgKind kind, MsgButtons buttons) {
        const int answer = randomAnswer(buttons);
        expectedQuestions_.push_back({text, kind, buttons});
        answers_.push_back(answer);
        return answer;
    }

    std::optional<std::string> expectFileDialog(FileDialogKind kind) {
        std::optional<std::string> choice;
        if (rng_() % 5 != 0) choice = randomPath();
        expectedFileKinds_.push_back(kind);
        files_.push_back(choice);
        return choice;
    }

    void expectError(const std::string& message) {
        expectedErrors_.push_back(errorDisplayText(message));
    }

    void clearDocument() {
        model_.text.clear();
        model_.mark = false;
    }

    // Converts the model's text with the byte-by-byte converters.
    void convert(bool toSjis) {
        std::int32_t& own = toSjis ? model_.toSjisDone : model_.toVelmorDone;
        std::int32_t& other = toSjis ? model_.toVelmorDone : model_.toSjisDone;
        Document doc;
        doc.ReplaceText(model_.text);
        own = 0;
        std::string out;
        if (toSjis) {
            convertVelmorToSjisReference(doc.WholeText(), model_.scan, own, out);
        } else {
            convertSjisToVelmorReference(doc.WholeText(), model_.scan, own, out);
        }
        std::string normal = NormalizeLineBreaks(out);
        if (normal != model_.text) {
            model_.text = normal;
            model_.mark = false;
        }
        if (own == 1) {
            ++coverage.conversions;
            model_.mark = true;
            other = 0;
        }
    }

    enum class SaveOutcome { Written, DialogCancelled, OverwriteRefused, Failed };

    SaveOutcome saveSequence(bool clearMark) {
        const std::optional<std::string> chosen = expectFileDialog(FileDialogKind::Save);
        if (!chosen) return SaveOutcome::DialogCancelled;
        const std::string name = nameInFolder(*chosen);
        if (model_.disk.count(name)) {
            const int answer =
                expectBox(name + kMsgOverwriteSuffix, MsgKind::Confirmation, mbYes | mbNo);
            if (answer != mrYes) return SaveOutcome::OverwriteRefused;
        }
        if (name.find('/') != std::string::npos) {
            expectError("不正なファイル名です");
            return SaveOutcome::Failed;
        }
        model_.disk[name] = {savedContent(model_.text), 0};  // a new inode, checked as such
        if (clearMark) model_.mark = false;
        ++coverage.writes;
        return SaveOutcome::Written;
    }

    int expectSaveQuestion() {
        return expectBox(kMsgSaveChanges, MsgKind::Confirmation, mbYes | mbNo | mbCancel);
    }

    void predict(Command command) {
        expectedQuestions_.clear();
        answers_.clear();
        expectedFileKinds_.clear();
        files_.clear();
        switch (command) {
            case Command::Open: {
                if (!model_.text.empty()) {
                    expectBox(kMsgCloseFirst, MsgKind::Information, mbOK);
                    break;
                }
                const std::optional<std::string> chosen = expectFileDialog(FileDialogKind::Open);
                if (!chosen) break;
                clearDocument();
                // A failed load leaves the state as at start.
                model_.toSjisDone = model_.toVelmorDone = 0;
                model_.fileItemsEnabled = false;
                const std::string name = nameInFolder(*chosen);
                if (!model_.disk.count(name)) {
                    expectError(name.find('/') == std::string::npos ? "ファイルが見つかりません"
                                                                    : "不正なファイル名です");
                    break;
                }
                model_.text = loadedText(model_.disk[name].content);
                model_.toSjisDone = model_.toVelmorDone = 0;
                model_.fileItemsEnabled = true;
                break;
            }
            case Command::VelmorToSjis:
            case Command::SjisToVelmor: {
                const bool toSjis = command == Command::VelmorToSjis;
                if (model_.text.empty()) {
                    expectBox(kMsgOpenFileFirst, MsgKind::Information, mbOK);
                    break;
                }
                if ((toSjis ? model_.toSjisDone : model_.toVelmorDone) == 1) {
                    expectBox(kMsgDoubleConversion, MsgKind::Information, mbOK);
                    break;
                }
                if (!toSjis) {
                    Document doc;
                    doc.ReplaceText(model_.text);
                    if (containsKanjiInReference(doc.WholeText()) &&
                        expectBox(kMsgAlreadyVelmor, MsgKind::Confirmation, mbYes | mbCancel) !=
                            mrYes) {
                        break;
                    }
                }
                convert(toSjis);
                break;
            }
            case Command::SaveAs:
                if (!model_.fileItemsEnabled) break;  // the item cannot be chosen
                if (model_.text.empty()) {
                    expectBox(kMsgOpenFileFirst, MsgKind::Information, mbOK);
                    break;
                }
                saveSequence(true);
                break;
            case Command::Close: {
                if (!model_.fileItemsEnabled) break;
                if (!model_.mark) {
                    clearDocument();
                    model_.fileItemsEnabled = false;
                    break;
                }
                const int answer = expectSaveQuestion();
                if ((answer == mrYes && saveSequence(true) == SaveOutcome::Written) ||
                    answer == mrNo) {
                    clearDocument();
                    model_.fileItemsEnabled = false;
                }
                break;
            }
            case Command::Exit:
            case Command::CloseWindow: {
                if (!model_.mark) {
                    model_.ended = true;
                    break;
                }
                const int answer = expectSaveQuestion();
                if ((answer == mrYes && saveSequence(false) == SaveOutcome::Written) ||
                    answer == mrNo) {
                    model_.ended = true;
                }
                break;
            }
            case Command::About:
                expectBox(std::string(kMainCaption) + kVersionText, MsgKind::Information, mbOK);
                break;
        }
    }

    void queueAnswers(ScriptedDialogs& dialogs) {
        for (int answer : answers_) dialogs.answer(answer);
        for (const auto& file : files_) dialogs.choose(file);
    }

    void perform(TForm1& form, Command command) {
        switch (command) {
            case Command::Open:
                form.Open1->trigger();
                break;
            case Command::VelmorToSjis:
                form.velmor_sjis->trigger();
                break;
            case Command::SjisToVelmor:
                form.sjis_velmor->trigger();
                break;
            case Command::SaveAs:
                form.SaveAs1->trigger();
                break;
            case Command::Close:
                form.Close1->trigger();
                break;
            case Command::Exit:
                form.Exit1->trigger();
                break;
            case Command::CloseWindow:
                form.close();
                break;
            case Command::About:
                form.Help1->trigger();
                break;
        }
    }

    std::string check(TForm1& form, const ScriptedDialogs& dialogs) {
        const Workspace& ws = form.workspace();
        const Document& doc = ws.document;
        if (!dialogs.allAnswersUsed()) return "a question the model expected was not asked";
        if (dialogs.questions.size() != expectedQuestions_.size()) return "unexpected question";
        for (std::size_t i = 0; i < expectedQuestions_.size(); ++i) {
            const auto& asked = dialogs.questions[i];
            const auto& want = expectedQuestions_[i];
            if (asked.text != want.text || asked.kind != want.kind || asked.buttons != want.buttons)
                return "asked \"" + asked.text + "\" instead of \"" + want.text + "\"";
        }
        for (std::size_t i = 0; i < dialogs.fileRequests.size(); ++i) {
            if (dialogs.fileRequests[i].kind != expectedFileKinds_[i]) return "wrong file dialog";
        }
        if (shown_ != expectedErrors_) {
            return "errors shown: " + std::to_string(shown_.size()) +
                   (shown_.empty() ? "" : " (" + shown_[0] + ")") +
                   ", expected: " + std::to_string(expectedErrors_.size());
        }
        if (doc.WholeText() != model_.text) {
            return "Document holds " + hex(doc.WholeText()) + ", expected " + hex(model_.text);
        }
        if (doc.ModifiedMark() != model_.mark) return "modified mark";
        for (std::int32_t flag : {ws.state.ToSjisDone, ws.state.ToVelmorDone}) {
            if (flag != 0 && flag != 1) return "a flag holds " + std::to_string(flag);
        }
        if (ws.state.ToSjisDone != model_.toSjisDone ||
            ws.state.ToVelmorDone != model_.toVelmorDone)
            return "conversion flags";
        if (form.Close1->isEnabled() != model_.fileItemsEnabled ||
            form.SaveAs1->isEnabled() != model_.fileItemsEnabled)
            return "Close and Save As enabled: " + std::to_string(form.Close1->isEnabled());
        if (!doc.WholeText().empty() && !form.Close1->isEnabled())
            return "a document is shown but cannot be closed";
        if (form.terminateRequested() != model_.ended) return "program running state";
        return checkDisk();
    }

    // Every file holds what the model says; a file no save wrote keeps its inode.
    std::string checkDisk() {
        std::set<std::string> names;
        for (const auto& [name, file] : model_.disk) names.insert(name);
        if (folder_.entries() != names) return "the folder holds other files than expected";
        for (auto& [name, file] : model_.disk) {
            if (testing::readFile(path(name)) != file.content) return name + " holds other bytes";
            const ino_t inode = inodeOf(path(name));
            if (file.inode != 0 && inode != file.inode) return name + " was written";
            file.inode = inode;
        }
        return "";
    }

    std::uint64_t seed_;
    std::mt19937_64 rng_;
    TempFolder folder_;
    Model model_;
    std::string trace_;
    std::vector<std::string> shown_;
    std::vector<std::string> expectedErrors_;
    std::vector<ScriptedDialogs::Question> expectedQuestions_;
    std::vector<int> answers_;
    std::vector<FileDialogKind> expectedFileKinds_;
    std::vector<std::optional<std::string>> files_;
};

class RandomCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void randomSequencesKeepEveryInvariant() {
        std::uint64_t base = kDefaultSeed;
        int count = kSequences;
        if (const char* seed = std::getenv("VELMOR_RANDOM_SEED")) {
            base = std::strtoull(seed, nullptr, 10);
            count = 1;
        }
        std::printf("random command sequences: %d from seed %llu\n", count,
                    static_cast<unsigned long long>(base));
        for (int i = 0; i < count; ++i) {
            const std::string failure = Sequence(base + static_cast<std::uint64_t>(i)).run();
            QVERIFY2(failure.empty(), failure.c_str());
        }
        std::printf("%d steps: %d files written, %d errors shown, %d conversions, %d ends\n",
                    coverage.steps, coverage.writes, coverage.errors, coverage.conversions,
                    coverage.ends);
    }
};

}  // namespace
}  // namespace velmor

QTEST_MAIN(velmor::RandomCommandsTest)
#include "random_commands_test.moc"
