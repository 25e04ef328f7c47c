#include "unit1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QSessionManager>

#include "commands/conversioncommands.h"
#include "commands/messages.h"
#include "errordisplay.h"
#include "memoview.h"
#include "platform.h"
#include "qtuserdialogs.h"

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
    font.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), "MS PGothic", "IPAPGothic"});
    font.setPixelSize(12);
    setFont(font);

    Memo1 = new MemoView(ws_.document, this);
    setCentralWidget(Memo1);
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

void TForm1::FormCreate() {
    const QSize screen = platform().screenSize();
    resize(screen.width() / 2, screen.height() / 2);
    // Centred once on the whole desktop.
    const QSize desktop = platform().desktopSize();
    move(std::max(0, (desktop.width() - width()) / 2),
         std::max(0, (desktop.height() - height()) / 2));
    SaveAs1->setEnabled(false);
    Close1->setEnabled(false);
}

void TForm1::run(const std::function<void()>& command) {
    WaitCursor wait;
    runCommand(command);
}

void TForm1::Open1Click() {
    run([this] { commands_.Open1Click(); });
    Memo1->showLastLines();
}

void TForm1::Close1Click() {
    run([this] { commands_.Close1Click(); });
    if (ws_.document.WholeText().empty()) Memo1->showFirstLines();
}

void TForm1::SaveAs1Click() {
    run([this] { commands_.SaveAs1Click(); });
}

void TForm1::Exit1Click() {
    run([this] { commands_.Exit1Click(); });
}

void TForm1::velmor_sjisClick() {
    run([this] { velmor::velmor_sjisClick(ws_, dialogs_); });
    Memo1->showFirstLines();
}

void TForm1::sjis_velmorClick() {
    run([this] { velmor::sjis_velmorClick(ws_, dialogs_); });
    Memo1->showFirstLines();
}

void TForm1::Help1Click() {
    run([this] {
        std::string text = windowTitle().toStdString() + kVersionText;
        dialogs_.messageBox(text, MsgKind::Information, mbOK);
    });
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

void TForm1::terminateApplication() {
    terminateRequested_ = true;
    // exit(), not quit(): quit() would close the windows and ask the close query again.
    QCoreApplication::exit(0);
}

}  // namespace velmor
