#include "unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QSessionManager>
#include <QStatusBar>
#include <QWindow>
#include <algorithm>

#include "commands/conversioncommands.h"
#include "commands/messages.h"
#include "commands/reporttexts.h"
#include "commands/usergaiji.h"
#include "errordisplay.h"
#include "longsteps.h"
#include "memoview.h"
#include "platform.h"
#include "qtuserdialogs.h"
#include "reportpanel.h"

namespace velmor {

namespace {

// Shows the wait cursor for as long as it lives.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TForm1::TForm1(UserDialogs* dialogs, QWidget* parent)
    : QMainWindow(parent),
      ownDialogs_(dialogs ? nullptr : std::make_unique<QtUserDialogs>(this)),
      dialogs_(dialogs ? *dialogs : *ownDialogs_),
      commands_(ws_, dialogs_, *this) {
    setObjectName("Form1");
    setWindowTitle(QString::fromUtf8(kMainCaption));
    QFont font;
    // The Japanese fonts lack the replacement character (DejaVu Sans has it) and the
    // control pictures such as ␀ (Symbola has them), which would otherwise both
    // draw as the same empty box.
    font.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), "MS PGothic", "IPAPGothic",
                      "DejaVu Sans", "Symbola"});
    font.setPixelSize(12);
    setFont(font);

    Memo1 = new MemoView(ws_.document, this);
    setCentralWidget(Memo1);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    // The report's summary line sits in a status bar that is shown only with it.
    reportPanel_ = new ReportPanel(this);
    statusBar()->addWidget(reportPanel_, 1);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->hide();
    connect(reportPanel_, &ReportPanel::entryChosen, Memo1, &MemoView::showPosition);
    auto* showList = new QAction(this);
    showList->setShortcut(QKeySequence(QString::fromUtf8(kReportListKey)));
    showList->setShortcutContext(Qt::ApplicationShortcut);
    connect(showList, &QAction::triggered, reportPanel_, &ReportPanel::openList);
    addAction(showList);
    createMenu();
    connect(qApp, &QGuiApplication::commitDataRequest, this, &TForm1::commitData);
    FormCreate();
}

TForm1::~TForm1() = default;

QAction* TForm1::addCommand(QMenu* menu, QAction* action, const char* name, const char* caption,
                            void (TForm1::*slot)()) {
    action->setObjectName(name);
    action->setText(QString::fromUtf8(caption));
    connect(action, &QAction::triggered, this, slot);
    menu ? menu->addAction(action) : MainMenu1->addAction(action);
    return action;
}

void TForm1::createMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    File1 = MainMenu1->addMenu(QString::fromUtf8("ファイル(&F)"));
    File1->setObjectName("File1");
    Open1 = addCommand(File1, new QAction(this), "Open1", "開く(&O)", &TForm1::Open1Click);
    Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Open1->setShortcutContext(Qt::ApplicationShortcut);
    Close1 = addCommand(File1, new QAction(this), "Close1", "閉じる(&C)", &TForm1::Close1Click);
    SaveAs1 = addCommand(File1, new QAction(this), "SaveAs1", "名前を付けて保存(&A)...",
                         &TForm1::SaveAs1Click);
    N1 = File1->addSeparator();
    N1->setObjectName("N1");
    Exit1 = addCommand(File1, new QAction(this), "Exit1", "終了(&X)", &TForm1::Exit1Click);

    Edit1 = MainMenu1->addMenu(QString::fromUtf8("変換(&C)"));
    Edit1->setObjectName("Edit1");
    velmor_sjis = addCommand(Edit1, new QAction(this), "velmor_sjis", "VELMOR->SJIS(&S)...",
                             &TForm1::velmor_sjisClick);
    sjis_velmor = addCommand(Edit1, new QAction(this), "sjis_velmor", "SJIS->VELMOR(&U)...",
                             &TForm1::sjis_velmorClick);
    // About is an item of the menu bar itself: choosing it runs the command at once.
    Help1 = addCommand(nullptr, new QAction(this), "Help1", "バージョン情報(&V)...",
                       &TForm1::Help1Click);
}

QRect framedPlacement(QSize screen, QSize desktop, QMargins frame) {
    const QSize outer(screen.width() / 2, screen.height() / 2);
    const QPoint corner(std::max(0, (desktop.width() - outer.width()) / 2),
                        std::max(0, (desktop.height() - outer.height()) / 2));
    return QRect(corner, outer).marginsRemoved(frame);
}

void TForm1::FormCreate() {
    // Until a window manager reports a frame, the inner area is the half screen.
    setGeometry(framedPlacement(platform().screenSize(), platform().desktopSize(), QMargins()));
    SaveAs1->setEnabled(false);
    Close1->setEnabled(false);
}

void TForm1::placeFrame() {
    if (framePlaced_ || !windowHandle()) return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame.isNull()) return;
    framePlaced_ = true;
    const QRect inner = framedPlacement(platform().screenSize(), platform().desktopSize(), frame);
    resize(inner.size());
    move(inner.topLeft() - QPoint(frame.left(), frame.top()));
}

bool TForm1::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    // The frame is known once the window manager has reparented the mapped window,
    // which Qt follows with a move or an expose.
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Expose:
        case QEvent::Show:
            placeFrame();
            break;
        default:
            break;
    }
    return handled;
}

void TForm1::run(const std::function<void()>& command) {
    {
        WaitCursor wait;
        runCommand(command);
    }
    // Without a window manager a closed box leaves the focus nowhere (the root window);
    // the main window takes it back so the menu keys work again.
    if (isVisible() && !QApplication::activeModalWidget() && !QApplication::activeWindow()) {
        activateWindow();
    }
}

void TForm1::runOnText(const std::function<void()>& command, bool showLast) {
    // A changed text has another buffer or size: a replacement moves a new string in,
    // a clear or a load changes the size. Refusals leave both as they were.
    const std::string& text = ws_.document.WholeText();
    const char* data = text.data();
    const std::size_t size = text.size();
    loadRan_ = false;
    run(command);
    if (!loadRan_ && text.data() == data && text.size() == size) return;
    showReport();
    showLast ? Memo1->showLastLines() : Memo1->showFirstLines();
}

void TForm1::Open1Click() {
    runOnText([this] { commands_.Open1Click(); }, true);
}

void TForm1::openFile(const std::string& path) {
    runOnText([this, &path] { commands_.openGivenFile(path); }, true);
}

void TForm1::Close1Click() {
    runOnText([this] { commands_.Close1Click(); }, false);
}

void TForm1::SaveAs1Click() {
    run([this] { commands_.SaveAs1Click(); });
}

void TForm1::Exit1Click() {
    run([this] { commands_.Exit1Click(); });
}

void TForm1::velmor_sjisClick() {
    runOnText([this] { velmorSjisThrough(ws_, dialogs_, longStepRunner()); }, false);
}

void TForm1::sjis_velmorClick() {
    runOnText([this] { sjisVelmorThrough(ws_, dialogs_, longStepRunner()); }, false);
}

void TForm1::loadUserGaijiTable() {
    runCommand([this] { velmor::loadUserGaijiTable(ws_); });
    showReport();
}

void TForm1::offerKeptFiles() {
    run([this] { commands_.offerKeptFiles(); });
}

void TForm1::showReport() {
    reportPanel_->showReport(ws_.report, ws_.gaiji.size());
    statusBar()->setVisible(!reportPanel_->isHidden());
    std::vector<ViewMark> marks;
    for (const ReportEntry& entry : ws_.report.entries()) {
        if (entry.viewLength > 0)
            marks.push_back({entry.viewLine, entry.viewColumn, entry.viewLength});
    }
    std::sort(marks.begin(), marks.end(), [](const ViewMark& a, const ViewMark& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    Memo1->setMarks(std::move(marks));
}

void TForm1::Help1Click() {
    run([this] {
        std::string text = windowTitle().toStdString() + kVersionText;
        dialogs_.messageBox(text, MsgKind::Information, mbOK);
    });
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (!Memo1->scrollByKey(event)) QMainWindow::keyPressEvent(event);
}

namespace {

// The one local file a drag carries, or an empty path.
std::string droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().first();
    return url.isLocalFile() ? QFile::encodeName(url.toLocalFile()).toStdString() : std::string();
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const std::string path = droppedFile(event->mimeData());
    if (path.empty()) return;
    event->acceptProposedAction();
    // Opened after the drop has finished, so the drag source is not kept waiting
    // while a box asks something.
    QMetaObject::invokeMethod(
        this, [this, path] { openFile(path); }, Qt::QueuedConnection);
}

bool TForm1::closeAllowed() {
    // An error while saving keeps the window open.
    bool allowed = false;
    run([this, &allowed] {
        bool CanClose = true;
        commands_.closequery(CanClose);
        allowed = CanClose;
    });
    return allowed;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (sessionEnding_ || closeAllowed()) {
        terminateRequested_ = true;
        event->accept();
    } else {
        event->ignore();
    }
}

// At log-off the desktop asks the main window, as closing it would.
void TForm1::commitData(QSessionManager& manager) {
    if (!ws_.document.ModifiedMark() || (manager.allowsInteraction() && closeAllowed())) {
        sessionEnding_ = true;
    } else {
        manager.cancel();
    }
    manager.release();
}

void TForm1::setFileItemsEnabled(bool enabled) {
    SaveAs1->setEnabled(enabled);
    Close1->setEnabled(enabled);
}

void TForm1::runLongStep(StepKind kind, Progress& progress, const std::function<void()>& step) {
    // A load or conversion changes the Document the view reads: the view waits until
    // it has ended.
    struct Freeze {
        MemoView* view;
        bool on;
        ~Freeze() {
            if (on) view->setFrozen(false);
        }
    } freeze{Memo1, kind != StepKind::Save};
    loadRan_ = loadRan_ || kind == StepKind::Load;
    if (freeze.on) Memo1->setFrozen(true);
    velmor::runLongStep(this, kind, progress, step);
}

StepRunner TForm1::longStepRunner() {
    return [this](StepKind kind, Progress& progress, const std::function<void()>& step) {
        runLongStep(kind, progress, step);
    };
}

void TForm1::terminateApplication() {
    terminateRequested_ = true;
    // exit(), not quit(): quit() would close the windows and ask the close query again.
    QCoreApplication::exit(0);
}

}  // namespace velmor
