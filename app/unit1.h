#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>

#include "commands/filecommands.h"
#include "commands/findcommands.h"
#include "commands/userdialogs.h"
#include "commands/workspace.h"
#include "document/textplace.h"
#include "finddialogs.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QSessionManager;

namespace velmor {

class BytePane;
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
    BytePane* bytePane() const { return bytePane_; }
    // The status bar's texts: the file, its state, its mark and the place.
    QString statusText() const;

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
    // Added to the designed menu: finding and moving, and what the view shows.
    QMenu* searchMenu;
    QAction* findAction;
    QAction* findNextAction;
    QAction* findPreviousAction;
    QAction* goToAction;
    QMenu* viewMenu;
    QAction* bytePaneAction;
    QAction* reportListAction;
    QAction* copyLineAction;
    QAction* copyBytesAction;

  public slots:
    void Open1Click();
    void Close1Click();
    void SaveAs1Click();
    void Exit1Click();
    void velmor_sjisClick();
    void sjis_velmorClick();
    void Help1Click();
    // 行へ移動: asks for a line (and column) and shows it.
    void goToPlace();
    // 検索: asks what to find and finds it; the next and previous match of the same.
    void findText();
    void findNext();
    void findPrevious();
    // The current line as the text it shows, or its bytes in hex, to the clipboard.
    void copyLine();
    void copyLineBytes();
    // Shows the status bar's texts and the byte pane for the current place.
    void updateStatus();

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

    void createSearchAndViewMenus();
    // Finds the request's next or previous match from the last match or the place.
    void findFrom(bool forward);
    void copyToClipboard(const QString& text);
    void saveReportCsv(const std::string& csv);
    // An information box with one OK button.
    void tell(const char* text);

    void setFileItemsEnabled(bool enabled) override;
    void terminateApplication() override;
    void runLongStep(StepKind kind, Progress& progress, const std::function<void()>& step) override;
    void fileSaved(const std::string& path) override;
    StepRunner longStepRunner();

    Workspace ws_;
    std::unique_ptr<QtUserDialogs> ownDialogs_;
    UserDialogs& dialogs_;
    FileCommands commands_;
    ReportPanel* reportPanel_;
    BytePane* bytePane_;
    QLabel* fileLabel_;
    QLabel* stateLabel_;
    QLabel* modifiedLabel_;
    QLabel* placeLabel_;
    // Saved offsets of the text shown, found on first need after each change.
    std::optional<SavedOffsets> savedOffsets_;
    QString lastGoTo_;
    FindAnswer lastFind_;
    std::optional<FindRequest> findRequest_;
    std::optional<TextMatch> lastMatch_;
    FileDialogState csvDialog_;
    bool terminateRequested_ = false;
    bool sessionEnding_ = false;
    bool framePlaced_ = false;
    // A load ran: even one cancelled and cleared may have changed the text meanwhile.
    bool loadRan_ = false;
};

// Where the window's inner area goes so that its frame, with `frame` margins, is half
// of `screen` (no larger than `desktop`) and centred on `desktop`.
QRect framedPlacement(QSize screen, QSize desktop, QMargins frame);

}  // namespace velmor
