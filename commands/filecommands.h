#pragma once

#include <string>

#include "document/loadsave.h"
#include "longstep.h"
#include "userdialogs.h"
#include "workspace.h"

namespace velmor {

// What the file commands need of the main window.
class FileCommandHost {
  public:
    virtual ~FileCommandHost() = default;
    // Enables or disables the Close and Save As menu items together.
    virtual void setFileItemsEnabled(bool enabled) = 0;
    // Ends the message loop directly, without asking the close query.
    virtual void terminateApplication() = 0;
    // Runs a load or save that may take long; by default right here.
    virtual void runLongStep(StepKind, Progress&, const std::function<void()>& step) { step(); }
    // A save sequence wrote the Document to `path`.
    virtual void fileSaved(const std::string& /*path*/) {}
};

// Open, Close, Save As, Exit and the window's close query. They move the Document
// between disk and view, ask before unsaved work is dropped, and never drop it
// unless the user said No or the save was completed.
class FileCommands {
  public:
    FileCommands(Workspace& ws, UserDialogs& dialogs, FileCommandHost& host)
        : ws_(ws), dialogs_(dialogs), host_(host) {}

    void Open1Click();
    // Open with `path` (from the command line or a drop) in place of the dialog's
    // choice, which it becomes.
    void openGivenFile(const std::string& path);
    void Close1Click();
    void SaveAs1Click();
    void Exit1Click();
    // Sets CanClose to false when the window must stay open.
    void closequery(bool& CanClose);
    // At start: for each file whose write in place an earlier run left unfinished (the
    // process was killed, the machine went down), names the file and where its old
    // content is kept, and asks whether to put it back (Yes), drop it (No) or ask
    // again at the next start (Cancel).
    void offerKeptFiles();

    // The two file dialogs; each remembers its last path and file type.
    FileDialogState OpenDialog1;
    FileDialogState SaveDialog1;

  private:
    enum class SaveOutcome { Written, DialogCancelled, OverwriteRefused };
    SaveOutcome saveSequence(bool clearMarkAfterWrite);
    // Runs a step that writes a file. A stop signal that came meanwhile (the write
    // gave up, putting the old content back, or had passed the point of no return)
    // then ends the program.
    void runWriteStep(Progress& progress, const std::function<void()>& step);
    int askSaveQuestion();
    bool refusedWhileOpen();
    void load(const std::string& path);
    void closeDocument();

    Workspace& ws_;
    UserDialogs& dialogs_;
    FileCommandHost& host_;
};

// The file name shown in the overwrite question: the path after its last "/".
std::string bareFileName(const std::string& path);

// True when `path` may be written: it names no file yet, or the user answered Yes to
// the overwrite question.
bool overwriteAllowed(const std::string& path, UserDialogs& dialogs);

// What Open does once its dialog returned `path`: drops the text, loads the file and
// starts afresh (mark cleared, neither conversion done). Throws EInOutError; a failed
// load leaves the Document empty and unmarked, never with part of the file.
void openFile(Workspace& ws, const std::string& path, Progress* progress = nullptr);
// Save As's refusal: an empty Document is not saved, and the user is told to open a
// file first. True when refused.
bool saveRefused(const Workspace& ws, UserDialogs& dialogs);
// What Save As does once its dialog returned `path` and any overwrite was allowed:
// writes the Document to `path`. Throws EInOutError; the mark is the caller's.
void saveFileAs(Workspace& ws, const std::string& path, Progress* progress = nullptr);

}  // namespace velmor
