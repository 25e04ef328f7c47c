#include "unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSessionManager>
#include <QSplitter>
#include <QStatusBar>
#include <QStringEncoder>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <filesystem>

#include "bytepane.h"
#include "commands/conversioncommands.h"
#include "commands/filenametext.h"
#include "commands/messages.h"
#include "commands/reportexport.h"
#include "commands/reporttexts.h"
#include "commands/usergaiji.h"
#include "displaytext.h"
#include "document/errors.h"
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

    // The view, with the byte pane below it when shown; under them the report's
    // summary line, shown only with something to say; then the status bar.
    auto* centre = new QWidget(this);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* split = new QSplitter(Qt::Vertical, centre);
    Memo1 = new MemoView(ws_.document, split);
    bytePane_ = new BytePane(ws_.document, split);
    bytePane_->hide();
    split->addWidget(Memo1);
    split->addWidget(bytePane_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    reportPanel_ = new ReportPanel(centre);
    column->addWidget(split, 1);
    column->addWidget(reportPanel_);
    setCentralWidget(centre);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);

    fileLabel_ = new QLabel(this);
    stateLabel_ = new QLabel(this);
    modifiedLabel_ = new QLabel(this);
    placeLabel_ = new QLabel(this);
    fileLabel_->setObjectName("FileName");
    placeLabel_->setObjectName("Place");
    statusBar()->addWidget(fileLabel_, 1);
    statusBar()->addPermanentWidget(stateLabel_);
    statusBar()->addPermanentWidget(modifiedLabel_);
    statusBar()->addPermanentWidget(placeLabel_);
    statusBar()->setSizeGripEnabled(false);
    csvDialog_.fileName = "report.csv";

    connect(reportPanel_, &ReportPanel::entryChosen, this,
            [this](std::size_t line, std::size_t col) {
                Memo1->showPosition(line, col);
                bytePaneAction->setChecked(true);
            });
    connect(reportPanel_, &ReportPanel::saveRequested, this, &TForm1::saveReportCsv);
    connect(Memo1, &MemoView::placeChanged, this, &TForm1::updateStatus);
    createMenu();
    connect(qApp, &QGuiApplication::commitDataRequest, this, &TForm1::commitData);
    FormCreate();
}

TForm1::~TForm1() {
    // The list and the pane read the workspace, which goes before the window's children.
    reportPanel_->closeList();
    bytePane_->showPlace(std::nullopt);
}

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
    createSearchAndViewMenus();
    // About is an item of the menu bar itself: choosing it runs the command at once.
    Help1 = addCommand(nullptr, new QAction(this), "Help1", "バージョン情報(&V)...",
                       &TForm1::Help1Click);
}

void TForm1::createSearchAndViewMenus() {
    const auto item = [this](QMenu* menu, const char* name, const char* caption,
                             const QKeySequence& key, void (TForm1::*slot)()) {
        QAction* action = addCommand(menu, new QAction(this), name, caption, slot);
        action->setShortcut(key);
        return action;
    };
    searchMenu = MainMenu1->addMenu(QString::fromUtf8("検索(&S)"));
    searchMenu->setObjectName("searchMenu");
    findAction = item(searchMenu, "findAction", "検索(&F)...", QKeySequence(Qt::CTRL | Qt::Key_F),
                      &TForm1::findText);
    findNextAction = item(searchMenu, "findNextAction", "次を検索(&N)", QKeySequence(Qt::Key_F3),
                          &TForm1::findNext);
    findPreviousAction = item(searchMenu, "findPreviousAction", "前を検索(&P)",
                              QKeySequence(Qt::SHIFT | Qt::Key_F3), &TForm1::findPrevious);
    searchMenu->addSeparator();
    goToAction = item(searchMenu, "goToAction", "行へ移動(&G)...",
                      QKeySequence(Qt::CTRL | Qt::Key_G), &TForm1::goToPlace);

    viewMenu = MainMenu1->addMenu(QString::fromUtf8("表示(&D)"));
    viewMenu->setObjectName("viewMenu");
    bytePaneAction = viewMenu->addAction(QString::fromUtf8("バイト表示(&B)"));
    bytePaneAction->setObjectName("bytePaneAction");
    bytePaneAction->setCheckable(true);
    bytePaneAction->setShortcut(QKeySequence(Qt::Key_F9));
    connect(bytePaneAction, &QAction::toggled, this, [this](bool on) {
        bytePane_->setVisible(on);
        updateStatus();
    });
    reportListAction = viewMenu->addAction(QString::fromUtf8("変換の報告(&R)..."));
    reportListAction->setObjectName("reportListAction");
    reportListAction->setShortcut(QKeySequence(QString::fromUtf8(kReportListKey)));
    // F8 works in the list too.
    reportListAction->setShortcutContext(Qt::ApplicationShortcut);
    connect(reportListAction, &QAction::triggered, reportPanel_, &ReportPanel::openList);
    viewMenu->addSeparator();
    copyLineAction =
        item(viewMenu, "copyLineAction", "行をコピー(&C)", QKeySequence::Copy, &TForm1::copyLine);
    copyBytesAction = item(viewMenu, "copyBytesAction", "行のバイトをコピー(&X)",
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), &TForm1::copyLineBytes);
}

QRect framedPlacement(QSize screen, QSize desktop, QMargins frame) {
    const QSize outer = QSize(screen.width() / 2, screen.height() / 2).boundedTo(desktop);
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
    statusBar()->clearMessage();
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
    // Every change of the text changes its version; refusals leave it as it was.
    const std::uint64_t version = ws_.document.version();
    loadRan_ = false;
    // The pane reads the line it shows, which a change of the text takes away.
    bytePane_->showPlace(std::nullopt);
    run(command);
    if (!loadRan_ && ws_.document.version() == version) return updateStatus();
    savedOffsets_.reset();
    lastMatch_.reset();
    showReport();
    showLast ? Memo1->showLastLines() : Memo1->showFirstLines();
    updateStatus();
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

void TForm1::tell(const char* text) {
    dialogs_.messageBox(text, MsgKind::Information, mbOK);
}

QString TForm1::statusText() const {
    QStringList parts;
    for (const QLabel* label : {fileLabel_, stateLabel_, modifiedLabel_, placeLabel_}) {
        if (!label->text().isEmpty()) parts << label->text();
    }
    return parts.join(QString::fromUtf8("　"));
}

void TForm1::updateStatus() {
    const Document& doc = ws_.document;
    const bool open = doc.TextSize() > 0;
    const std::string& path = ws_.state.OpenFileName;
    fileLabel_->setText(open ? QString::fromStdString(displayFileName(bareFileName(path)))
                             : QString());
    fileLabel_->setToolTip(open ? QString::fromStdString(displayFileName(path)) : QString());
    const char* state = ws_.state.ToSjisDone == 1     ? kStateSjis
                        : ws_.state.ToVelmorDone == 1 ? kStateVelmor
                                                      : kStateAsOpened;
    stateLabel_->setText(open ? QString::fromUtf8(state) : QString());
    modifiedLabel_->setText(open && doc.ModifiedMark() ? QString::fromUtf8(kStateModified)
                                                       : QString());
    const std::optional<TextPlace> place = Memo1->place();
    if (bytePane_->isVisible()) bytePane_->showPlace(place);
    if (!place) {
        placeLabel_->setText(QString());
        return;
    }
    // Until a conversion, every line ends in the space loading appended.
    if (!savedOffsets_) savedOffsets_.emplace(doc, ws_.report.conversions() == 0);
    const std::uint64_t offset = savedOffsets_->offset(*place);
    placeLabel_->setText(QString::fromUtf8("%1 行  %2 桁  オフセット %3 (0x%4)")
                             .arg(place->line + 1)
                             .arg(place->column + 1)
                             .arg(offset)
                             .arg(QString::number(offset, 16).toUpper()));
}

void TForm1::fileSaved(const std::string& path) {
    std::error_code unknown;
    const std::uintmax_t size = std::filesystem::file_size(path, unknown);
    QString note = QString::fromUtf8(kMsgSaved) + QString::fromUtf8(": ") +
                   QString::fromStdString(displayFileName(path));
    if (!unknown) note += QString::fromUtf8("（%1 バイト）").arg(size);
    statusBar()->showMessage(note);
}

void TForm1::goToPlace() {
    run([this] {
        if (ws_.document.TextSize() == 0) return tell(kMsgOpenFileFirst);
        const std::optional<QString> text = askGoToPlace(this, lastGoTo_);
        if (!text) return;
        lastGoTo_ = *text;
        const std::optional<TextPlace> place = parseGoToPlace(text->toStdString(), ws_.document);
        if (!place) return tell(kMsgGoToNumber);
        Memo1->showPosition(place->line, place->column);
        lastMatch_.reset();  // F3 goes on from here
    });
}

void TForm1::findText() {
    run([this] {
        if (ws_.document.TextSize() == 0) return tell(kMsgOpenFileFirst);
        const std::optional<FindAnswer> answer = askFind(this, lastFind_);
        if (!answer) return;
        lastFind_ = *answer;
        FindRequest request{answer->text.toStdString(), answer->hex};
        if (answer->hex && !parseHexBytes(request.text)) return tell(kMsgBadHex);
        if (!answer->hex) {
            // Characters are looked for as the text holds them: in Shift-JIS, or
            // converted from it to VELMOR.
            QStringEncoder encoder("windows-31j");
            const QByteArray sjis = encoder.encode(answer->text);
            if (encoder.hasError()) return tell(kMsgNotShiftJis);
            request.text = sjis.toStdString();
        }
        if (request.text.empty()) return;
        findRequest_ = request;
        lastMatch_.reset();
        findFrom(answer->forward);
    });
}

void TForm1::findNext() {
    if (!findRequest_) return findText();
    run([this] { findFrom(true); });
}

void TForm1::findPrevious() {
    if (!findRequest_) return findText();
    run([this] { findFrom(false); });
}

void TForm1::findFrom(bool forward) {
    const Document& doc = ws_.document;
    if (doc.TextSize() == 0) return tell(kMsgOpenFileFirst);
    // Forms for the text's code now: a conversion since the last search changed it.
    std::vector<TextQuery> forms = findForms(ws_, *findRequest_);
    std::size_t from = 0;
    if (lastMatch_) {
        from = forward ? lastMatch_->offset + lastMatch_->length : lastMatch_->offset;
    } else if (const std::optional<TextPlace> place = Memo1->place()) {
        from = doc.LineOffset(place->line) + place->column;
    }
    bool wrapped = false;
    const std::optional<TextMatch> match =
        findThrough(doc, forms, from, forward, wrapped, longStepRunner());
    if (!match) {
        Memo1->setFound(forms, std::nullopt);
        return tell(kMsgNotFound);
    }
    lastMatch_ = match;
    const std::size_t line = doc.LineAtOffset(match->offset);
    const std::size_t column = match->offset - doc.LineOffset(line);
    // A match of bytes may go on past the line's end; the view marks its part in the line.
    const std::size_t length = std::max<std::size_t>(
        1, std::min(match->length,
                    doc.LineAt(line).size() - std::min(column, doc.LineAt(line).size())));
    Memo1->setFound(std::move(forms), ViewMark{line, column, length});
    Memo1->showPosition(line, column);
    if (wrapped) {
        statusBar()->showMessage(
            QString::fromUtf8(forward ? kMsgWrappedToStart : kMsgWrappedToEnd));
    }
}

void TForm1::copyToClipboard(const QString& text) {
    run([&] {
        if (!platform().setClipboardText(text)) throw Exception(kMsgClipboardError);
    });
}

void TForm1::copyLine() {
    if (const std::optional<TextPlace> place = Memo1->place())
        copyToClipboard(copyText(ws_.document.LineAt(place->line)));
}

void TForm1::copyLineBytes() {
    if (const std::optional<TextPlace> place = Memo1->place())
        copyToClipboard(QString::fromStdString(reportBytesHex(ws_.document.LineAt(place->line))));
}

void TForm1::saveReportCsv(const std::string& csv) {
    run([&] { saveTableAs(csv, dialogs_, csvDialog_); });
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (!Memo1->scrollByKey(event)) QMainWindow::keyPressEvent(event);
}

namespace {

// The local files a drag carries, with the bytes of their names as the URLs give
// them: a name that is no UTF-8 stays as it is.
std::vector<std::string> droppedFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return {};
        paths.push_back(
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
    }
    return paths;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = droppedFiles(event->mimeData());
    if (paths.empty()) return;
    event->acceptProposedAction();
    // Answered after the drop has finished, so the drag source is not kept waiting
    // while a box asks something.
    QMetaObject::invokeMethod(
        this,
        [this, paths] {
            if (paths.size() > 1) return run([this] { tell(kMsgOneFileAtATime); });
            openFile(paths.front());
        },
        Qt::QueuedConnection);
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
    // it has ended. A save or search only reads it, as the view does.
    struct Freeze {
        MemoView* view;
        bool on;
        ~Freeze() {
            if (on) view->setFrozen(false);
        }
    } freeze{Memo1, kind == StepKind::Load || kind == StepKind::Convert};
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
