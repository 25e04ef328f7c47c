#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>
#include <chrono>
#include <thread>

#include "app/errordisplay.h"
#include "app/longsteps.h"
#include "app/memoview.h"
#include "app/unit1.h"
#include "document/errors.h"
#include "document/loadsave.h"
#include "fakeplatform.h"
#include "modalanswer.h"
#include "recordederrors.h"
#include "support/bytes.h"
#include "support/scripteddialogs.h"
#include "support/tempfolder.h"

namespace velmor {

using testing::bytes;
using testing::readFile;
using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::writeFile;

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void menuHasEveryItemWithItsCaptionAndState() {
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        QCOMPARE(form.objectName(), QString("Form1"));
        QCOMPARE(form.windowTitle(), QString("ＶＥＬＭＯＲ＿ＳＪＩＳ漢字変換"));
        const QList<QAction*> bar = form.MainMenu1->actions();
        QCOMPARE(bar.size(), 3);
        QCOMPARE(bar[0]->text(), QString("ファイル(&F)"));
        QCOMPARE(bar[1]->text(), QString("変換(&C)"));
        QCOMPARE(bar[2], form.Help1);  // About is on the bar itself, without a submenu
        QCOMPARE(form.Help1->text(), QString("バージョン情報(&V)..."));
        QVERIFY(form.Help1->menu() == nullptr);

        const QList<QAction*> file = form.File1->actions();
        QCOMPARE(file.size(), 5);
        QCOMPARE(file[0]->text(), QString("開く(&O)"));
        QCOMPARE(file[0]->shortcut().toString(), QString("Ctrl+O"));
        QCOMPARE(file[1]->text(), QString("閉じる(&C)"));
        QCOMPARE(file[2]->text(), QString("名前を付けて保存(&A)..."));
        QVERIFY(file[3]->isSeparator());
        QCOMPARE(file[4]->text(), QString("終了(&X)"));
        const QList<QAction*> edit = form.Edit1->actions();
        QCOMPARE(edit.size(), 2);
        QCOMPARE(edit[0]->text(), QString("VELMOR->SJIS(&S)..."));
        QCOMPARE(edit[1]->text(), QString("SJIS->VELMOR(&U)..."));

        QVERIFY(!form.Close1->isEnabled());
        QVERIFY(!form.SaveAs1->isEnabled());
        QVERIFY(form.Open1->isEnabled() && form.Exit1->isEnabled());
        QVERIFY(form.velmor_sjis->isEnabled() && form.sjis_velmor->isEnabled());
        QCOMPARE(form.font().pixelSize(), 12);
        QVERIFY(form.font().families().contains("IPAPGothic"));
    }

    void windowIsHalfTheScreenAndCentred() {
        testing::FakePlatform platform;
        platform.screen = QSize(1024, 768);
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        QCOMPARE(form.size(), QSize(512, 384));
        QCOMPARE(form.pos(), QPoint(256, 192));
        platform.screen = QSize(1023, 767);
        platform.desktop = QSize(3000, 767);  // a second monitor to the right
        TForm1 odd(&dialogs);
        QCOMPARE(odd.size(), QSize(511, 383));
        QCOMPARE(odd.pos(), QPoint((3000 - 511) / 2, (767 - 383) / 2));
        // Once a window manager frames it, the frame is the half screen, centred.
        QCOMPARE(framedPlacement(QSize(1280, 1024), QSize(1280, 1024), QMargins(1, 24, 1, 1)),
                 QRect(321, 280, 638, 487));
        QCOMPARE(framedPlacement(QSize(1024, 768), QSize(1024, 768), QMargins()),
                 QRect(256, 192, 512, 384));
    }

    // Control bytes draw as control pictures, invalid codes as the replacement
    // character, and neither as the box of a missing glyph.
    void controlBytesAndInvalidCodesLookDifferent() {
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        auto draw = [&](char32_t c) {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setFont(form.Memo1->font());
            painter.drawText(5, 20, QString::fromUcs4(&c, 1));
            return image;
        };
        const QImage control = draw(0x2400), invalid = draw(0xFFFD), missing = draw(0xE000);
        QVERIFY(control != invalid);
        QVERIFY(control != missing);
        QVERIFY(invalid != missing);
    }

    void aboutShowsTheCaptionAndVersion() {
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        TForm1 form(&dialogs);
        form.Help1->trigger();
        QCOMPARE(dialogs.questions.size(), size_t(1));
        QCOMPARE(QString::fromStdString(dialogs.questions[0].text),
                 QString("ＶＥＬＭＯＲ＿ＳＪＩＳ漢字変換   ｖｅｒ　１．１　 2002.04.12"));
        QVERIFY(dialogs.questions[0].kind == MsgKind::Information);
        QCOMPARE(dialogs.questions[0].buttons, MsgButtons{mbOK});
    }

    void conversionsWithoutADocumentAskToOpenAFile() {
        ScriptedDialogs dialogs;
        dialogs.answerAllWith(mrOk);
        TForm1 form(&dialogs);
        form.velmor_sjis->trigger();
        form.sjis_velmor->trigger();
        QCOMPARE(dialogs.questions.size(), size_t(2));
        for (const auto& q : dialogs.questions)
            QCOMPARE(q.text, std::string("ファイルを開いて下さい。"));
    }

    void wholeJobThroughTheMenu() {
        TempFolder dir;
        const std::string sjis =
            bytes({0x88, 0x9F, 'A', 0x82, 0xA0, '\r', '\n', 'b', 0x81, 0x40, 'c', '\r', '\n'});
        writeFile((dir / "in.txt"), sjis);
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);

        dialogs.choose((dir / "in.txt"));
        form.Open1->trigger();
        QVERIFY(form.Close1->isEnabled() && form.SaveAs1->isEnabled());
        form.sjis_velmor->trigger();
        QVERIFY(form.workspace().document.ModifiedMark());
        dialogs.choose((dir / "velmor.txt"));
        form.SaveAs1->trigger();
        QVERIFY(!form.workspace().document.ModifiedMark());
        form.Close1->trigger();
        QVERIFY(form.workspace().document.WholeText().empty());
        QVERIFY(!form.Close1->isEnabled() && !form.SaveAs1->isEnabled());

        dialogs.choose((dir / "velmor.txt"));
        form.Open1->trigger();
        form.velmor_sjis->trigger();
        // Close with unsaved work: save it under a new name.
        dialogs.answer(mrYes).choose((dir / "back.txt"));
        form.Close1->trigger();
        QVERIFY(dialogs.allAnswersUsed());
        QCOMPARE(
            QByteArray::fromStdString(readFile((dir / "back.txt"))),
            QByteArray::fromStdString(sjis + "\r\n\r\n"));  // each load and save adds an empty line
        QCOMPARE(
            QByteArray::fromStdString(readFile((dir / "velmor.txt"))),
            QByteArray::fromStdString(bytes(
                {0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, 'A',  0x93, 0x70, 0xA4, 0xA2, 0x93, 0xF1, '\r',
                 '\n', 'b',  0x93, 0x70, 0x20, 0x20, 0x93, 0xF1, 'c',  '\r', '\n', '\r', '\n'})));
    }

    void failedOpenIsShownAndTheProgramGoesOn() {
        TempFolder dir;
        testing::RecordedErrors errors;
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        dialogs.choose(dir / "missing.txt");
        form.Open1->trigger();
        QCOMPARE(errors.texts.size(), size_t(1));
        QCOMPARE(QString::fromStdString(errors.texts[0]), QString("ファイルが見つかりません."));
        QVERIFY(!form.Close1->isEnabled());
        QVERIFY(!form.terminateRequested());
    }

    void closingTheWindowAsksAboutUnsavedWork() {
        TempFolder dir;
        writeFile((dir / "in.txt"), bytes({0x88, 0x9F}));
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        dialogs.choose((dir / "in.txt"));
        form.Open1->trigger();
        form.sjis_velmor->trigger();

        dialogs.answer(mrCancel);
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QCOMPARE(dialogs.questions.back().text,
                 std::string("ファイルが更新されています。保存しますか？"));

        dialogs.answer(mrNo);
        QVERIFY(form.close());
        QVERIFY(form.terminateRequested());
    }

    void ctrlOOpensWithTheMenuClosed() {
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        dialogs.choose(std::nullopt);
        QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(dialogs.fileRequests.size(), size_t(1));
        QVERIFY(dialogs.fileRequests[0].kind == FileDialogKind::Open);
    }

    // The view moves only when the text changed, and the window hands it the
    // scrolling keys although it never has the focus.
    void refusalsKeepTheViewAndTheWindowScrollsItByKeys() {
        TempFolder dir;
        std::string text = bytes({0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1}) + "\r\n";
        for (int i = 0; i < 500; ++i) text += std::string(200, 'x') + std::to_string(i) + "\r\n";
        writeFile((dir / "in.txt"), text);
        ScriptedDialogs dialogs;
        dialogs.answerAllWith(mrCancel);
        TForm1 form(&dialogs);
        form.resize(400, 300);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        dialogs.choose((dir / "in.txt"));
        form.Open1->trigger();
        MemoView* view = form.Memo1;
        const size_t bottom = view->firstVisibleLine();
        QCOMPARE(bottom + view->visibleLineCapacity(), size_t(501));
        QTest::keyClick(&form, Qt::Key_PageUp);
        QTest::keyClick(&form, Qt::Key_Up);
        QTest::keyClick(&form, Qt::Key_Right);
        const size_t middle = view->firstVisibleLine();
        const size_t sideways = view->horizontalOffset();
        QCOMPARE(middle, bottom - view->visibleLineCapacity() - 1);
        QVERIFY(sideways > 0);

        QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);  // refused: a file is open
        form.sjis_velmor->trigger();                             // Cancel at the pre-scan
        form.workspace().state.ToSjisDone = 1;
        form.velmor_sjis->trigger();  // refused: converted already
        QCOMPARE(dialogs.questions.size(), size_t(3));
        QCOMPARE(view->firstVisibleLine(), middle);
        QCOMPARE(view->horizontalOffset(), sideways);

        QTest::keyClick(&form, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(view->firstVisibleLine(), size_t(0));
        QCOMPARE(view->horizontalOffset(), size_t(0));
        QTest::keyClick(&form, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view->firstVisibleLine(), bottom);
    }

    // A file named on the command line or dropped on the window is opened as Open
    // would open it, refused while another is open.
    void filesFromOutsideOpenLikeOpen() {
        TempFolder dir;
        writeFile((dir / "a.txt"), "abc\r\n");
        testing::RecordedErrors errors;
        ScriptedDialogs dialogs;
        dialogs.answerAllWith(mrOk);
        TForm1 form(&dialogs);
        form.openFile(dir / "missing.txt");
        QCOMPARE(errors.texts, std::vector<std::string>{"ファイルが見つかりません."});

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "a.txt"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &drop);
        QTRY_COMPARE(form.workspace().document.WholeText(), std::string("abc \r\n"));
        QCOMPARE(form.workspace().state.OpenFileName, dir / "a.txt");
        QVERIFY(form.Close1->isEnabled());
        QVERIFY(dialogs.questions.empty());

        form.openFile(dir / "a.txt");
        QCOMPARE(dialogs.questions.size(), size_t(1));
        QCOMPARE(dialogs.questions[0].text, std::string("一旦、閉じてから開き直して下さい。"));

        QMimeData two;
        two.setUrls({QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b")});
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &two, Qt::LeftButton, Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(&form, &refused);
        QVERIFY(!refused.isAccepted());
    }

    // A step still running after half a second shows a modal progress box whose
    // Cancel stops it; one that ends sooner shows nothing.
    void longStepShowsProgressAndCancelStopsIt() {
        QWidget owner;
        owner.show();
        Progress quick(1);
        bool shown = false;
        QTimer::singleShot(0, [&] { shown = QApplication::activeModalWidget() != nullptr; });
        runLongStep(&owner, StepKind::Load, quick, [&] { tell(&quick, 1); });
        QVERIFY(!shown);

        Progress slow(1000);
        QString label;
        bool stopped = false;
        QElapsedTimer clock;
        clock.start();
        try {
            testing::answerModal<int>(
                [&] {
                    runLongStep(&owner, StepKind::Save, slow, [&] {
                        for (std::size_t i = 0; i < 1000; ++i) {
                            tell(&slow, 1);
                            std::this_thread::sleep_for(std::chrono::milliseconds(10));
                        }
                    });
                    return 0;
                },
                [&](QWidget* modal) {
                    auto* box = qobject_cast<QProgressDialog*>(modal);
                    if (!box) return;
                    label = box->labelText();
                    box->findChild<QPushButton*>()->click();
                });
        } catch (const EAbort&) {
            stopped = true;
        }
        QVERIFY(stopped);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(label, QString("ファイルを保存しています..."));
    }

    void viewShowsLastLinesAfterLoadAndFirstAfterConversion() {
        TempFolder dir;
        std::string text = bytes({0x88, 0x9F}) + "\r\n";  // a kanji, so conversion changes the text
        for (int i = 0; i < 500; ++i) text += "line " + std::to_string(i) + "\r\n";
        writeFile((dir / "in.txt"), text);
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        form.resize(400, 300);
        form.show();
        dialogs.choose((dir / "in.txt"));
        form.Open1->trigger();
        QCOMPARE(form.Memo1->firstVisibleLine() + form.Memo1->visibleLineCapacity(), size_t(501));
        form.sjis_velmor->trigger();
        QCOMPARE(form.Memo1->firstVisibleLine(), size_t(0));
        form.Memo1->showLastLines();
        const size_t bottom = form.Memo1->firstVisibleLine();
        form.workspace().document.SetModifiedMark(true);
        dialogs.answer(mrCancel);  // the save question: the document stays, and so does the view
        form.Close1->trigger();
        QCOMPARE(form.Memo1->firstVisibleLine(), bottom);
        dialogs.answer(mrNo);
        form.Close1->trigger();
        QCOMPARE(form.Memo1->firstVisibleLine(), size_t(0));
    }
};

}  // namespace velmor

QTEST_MAIN(velmor::MainWindowTest)
#include "mainwindow_test.moc"
