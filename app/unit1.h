#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "commands/filecommands.h"
#include "commands/userdialogs.h"
#include "commands/workspace.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QMenuBar;
class QSessionManager;

namespace velmor {

class MemoView;
class QtUserDialogs;
class ReportPanel;

// The main window: the read-only view of the Document, the menu, and one slot per
// menu command. It owns the process's Workspace.
class TForm1 : public QMainWindow, private FileCommandHost {
    Q_OBJECT
  public:
    // With no `dialogs`, the window's own message boxes and file dialogs are used.
    explicit TForm1(UserDialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    Workspace& workspace() { return ws_; }
    // Open on a file given from outside (the command line, a drop): the same refusal
    // and loading as Open, with `path` in place of the dialog's choice.
    void openFile(const std::string& path);
    // Reads the user's gaiji table, if there is one; an unusable table goes to the
    // error display and the program runs without it.
    void loadUserGaijiTable();
    // Offers back the old content of files whose write an earlier run left unfinished.
    void offerKeptFiles();
    ReportPanel* reportPanel() const { return reportPanel_; }

    // True once Exit or an allowed close ended the program.
    bool terminateRequested() const { return terminateRequested_; }

    MemoView* Memo1;
    QMenuBar* MainMenu1;
    QMenu* File1;
    QAction* Open1;
    QAction* Close1;
    QAction* SaveAs1;
    QAction* N1;
    QAction* Exit1;
    QMenu* Edit1;
    QAction* velmor_sjis;
    QAction* sjis_velmor;
    QAction* Help1;

  public slots:
    void Open1Click();
    void Close1Click();
    void SaveAs1Click();
    void Exit1Click();
    void velmor_sjisClick();
    void sjis_velmorClick();
    void Help1Click();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    // Scrolling keys no menu or box took go to the view, which never has the focus.
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void FormCreate();
    void createMenu();
    QAction* addCommand(QMenu* menu, QAction* action, const char* name, const char* caption,
                        void (TForm1::*slot)());
    // Runs a command with the wait cursor up; anything it throws goes to the error display.
    void run(const std::function<void()>& command);
    // Runs a command that may change the text; the view moves only if it did.
    void runOnText(const std::function<void()>& command, bool showLast);
    // Once the window manager has framed the window: the frame, not the inner
    // area, becomes half the screen, centred on the desktop.
    void placeFrame();
    // The close query; false keeps the window open.
    bool closeAllowed();
    void commitData(QSessionManager& manager);
    // Shows the workspace's report: the summary line and the marks in the view.
    void showReport();

    void setFileItemsEnabled(bool enabled) override;
    void terminateApplication() override;
    void runLongStep(StepKind kind, Progress& progress, const std::function<void()>& step) override;
    StepRunner longStepRunner();

    Workspace ws_;
    std::unique_ptr<QtUserDialogs> ownDialogs_;
    UserDialogs& dialogs_;
    FileCommands commands_;
    ReportPanel* reportPanel_;
    bool terminateRequested_ = false;
    bool sessionEnding_ = false;
    bool framePlaced_ = false;
    // A load ran: even one cancelled and cleared may have changed the text meanwhile.
    bool loadRan_ = false;
};

// Where the window's inner area goes so that its frame, with `frame` margins, is half
// of `screen` and centred on `desktop` (a negative left or top edge becomes 0).
QRect framedPlacement(QSize screen, QSize desktop, QMargins frame);

}  // namespace velmor
