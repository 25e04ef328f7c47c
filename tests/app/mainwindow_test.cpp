#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "app/bytepane.h"
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
        QCOMPARE(bar.size(), 5);
        QCOMPARE(bar[0]->text(), QString("ファイル(&F)"));
        QCOMPARE(bar[1]->text(), QString("変換(&C)"));
        QCOMPARE(bar[2]->text(), QString("検索(&S)"));
        QCOMPARE(bar[3]->text(), QString("表示(&D)"));
        QCOMPARE(bar[4], form.Help1);  // About is on the bar itself, without a submenu
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
        const std::pair<QAction*, const char*> keys[] = {
            {form.findAction, "Ctrl+F"},           {form.findNextAction, "F3"},
            {form.findPreviousAction, "Shift+F3"}, {form.goToAction, "Ctrl+G"},
            {form.bytePaneAction, "F9"},           {form.reportListAction, "F8"},
            {form.copyLineAction, "Ctrl+C"},       {form.copyBytesAction, "Ctrl+Shift+C"}};
        for (const auto& [action, key] : keys)
            QCOMPARE(action->shortcut().toString(), QString(key));
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
        // The screen in device pixels at a scale of 2: half of it, as device-independent
        // pixels, is the whole desktop and no more.
        QCOMPARE(framedPlacement(QSize(2560, 1800), QSize(1280, 800), QMargins()),
                 QRect(0, 0, 1280, 800));
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
        QCOMPARE(errors.details[0], dir / "missing.txt" + ": " + std::strerror(ENOENT));
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

        // A drop reaches the window that accepted the drag's entering.
        const auto drop = [&form](QMimeData& data) {
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(&form, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&form, &drop);
        };
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "a.txt"))});
        drop(data);
        QTRY_COMPARE(form.workspace().document.WholeText(), std::string("abc \r\n"));
        QCOMPARE(form.workspace().state.OpenFileName, dir / "a.txt");
        QVERIFY(form.Close1->isEnabled());
        QVERIFY(dialogs.questions.empty());

        form.openFile(dir / "a.txt");
        QCOMPARE(dialogs.questions.size(), size_t(1));
        QCOMPARE(dialogs.questions[0].text, std::string("一旦、閉じてから開き直して下さい。"));

        // Several files: the drop says that one is opened at a time, and opens none.
        dialogs.questions.clear();
        form.Close1->trigger();
        QMimeData two;
        two.setUrls({QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b")});
        drop(two);
        QTRY_COMPARE(dialogs.questions.size(), size_t(1));
        QCOMPARE(dialogs.questions[0].text, std::string("ファイルは一度に一つずつ開きます。"));
        QVERIFY(form.workspace().document.WholeText().empty());

        // A Shift-JIS name, as a file manager puts its bytes in the URL, opens by them.
        const std::string name = "\x83\x65\x83\x58\x83\x67.txt";  // テスト.txt
        writeFile(dir / name, "sjis\r\n");
        QMimeData sjis;
        sjis.setData(
            "text/uri-list",
            "file://" + QByteArray::fromStdString(dir / name).toPercentEncoding("/") + "\r\n");
        drop(sjis);
        QTRY_COMPARE(form.workspace().document.WholeText(), std::string("sjis \r\n"));
        QCOMPARE(form.workspace().state.OpenFileName, dir / name);
        QVERIFY(form.statusText().startsWith("テスト.txt　開いたまま"));
    }

    // Where the view is and what is there: the place under the pointer, or the one
    // shown last, in the status bar; 行へ移動 and 検索 by their keys; the byte pane; the
    // line copied as text and as hex; a save's note.
    void placeKeysBytePaneAndCopies() {
        TempFolder dir;
        std::string text = "first\r\n" + bytes({'A', 0x88, 0x9F, '\t', 'b'}) + "\r\n";
        for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\r\n";
        writeFile(dir / "in.txt", text);
        testing::FakePlatform platform;
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        dialogs.choose(dir / "in.txt");
        form.Open1->trigger();

        QString title;
        testing::answerModal<int>(
            [&] {
                QTest::keyClick(&form, Qt::Key_G, Qt::ControlModifier);
                return 0;
            },
            [&](QWidget* modal) {
                title = modal->windowTitle();
                modal->findChild<QLineEdit*>()->setText("２:2");  // full-width digits too
                qobject_cast<QDialog*>(modal)->accept();
            });
        QCOMPARE(title, QString("行へ移動"));
        QVERIFY(QTest::qWaitForWindowActive(&form));  // the keys go to it again
        QCOMPARE(form.Memo1->place(), std::optional<TextPlace>({1, 1}));
        // 亜 is byte 8 of the saved file: "first" CR LF, then A.
        QVERIFY2(form.statusText().contains("開いたまま　2 行  2 桁  オフセット 8 (0x8)"),
                 qPrintable(form.statusText()));

        QTest::keyClick(&form, Qt::Key_F9);
        QVERIFY(form.bytePane()->isVisible());
        QAbstractItemModel* bytes = form.bytePane()->table()->model();
        QCOMPARE(bytes->index(0, 1).data().toString(), QString("41"));
        QCOMPARE(bytes->index(0, 2).data().toString(), QString("88"));
        QVERIFY(!bytes->index(0, 1).data(Qt::BackgroundRole).isValid());
        QVERIFY(bytes->index(0, 2).data(Qt::BackgroundRole).isValid());
        QVERIFY(bytes->index(0, 3).data(Qt::BackgroundRole).isValid());
        QVERIFY(bytes->index(0, 17).data().toString().startsWith("A亜\u21E5"));

        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(platform.clipboard, QString("A亜\tb "));
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(platform.clipboard, QString("41 88 9F 09 62 20"));

        // The pointer over the top line, at its fourth character.
        QWidget* viewport = form.Memo1->viewport();
        const int x = 2 + form.Memo1->fontMetrics().horizontalAdvance("fir") + 1;
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 2), viewport->mapToGlobal(QPointF(x, 2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QCOMPARE(form.Memo1->place(), std::optional<TextPlace>({0, 3}));
        QVERIFY(form.statusText().endsWith("1 行  4 桁  オフセット 3 (0x3)"));
        QCOMPARE(bytes->index(0, 4).data().toString(), QString("73"));  // the pane follows: s
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(viewport, &leave);
        QCOMPARE(form.Memo1->place(), std::optional<TextPlace>({1, 1}));

        const auto find = [&](const QString& what, bool hex) {
            testing::answerModal<int>(
                [&] {
                    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
                    return 0;
                },
                [&](QWidget* modal) {
                    title = modal->windowTitle();
                    modal->findChild<QLineEdit*>()->setText(what);
                    modal->findChild<QCheckBox*>("hex")->setChecked(hex);
                    modal->findChild<QPushButton*>("next")->click();
                });
            QVERIFY(QTest::qWaitForWindowActive(&form));
        };
        find("line 29", false);
        QCOMPARE(title, QString("検索"));
        QCOMPARE(form.Memo1->place(), std::optional<TextPlace>({31, 0}));
        QTest::keyClick(&form, Qt::Key_F3);
        QCOMPARE(form.Memo1->place(), std::optional<TextPlace>({292, 0}));  // line 290
        QTest::keyClick(&form, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(form.Memo1->place(), std::optional<TextPlace>({31, 0}));
        find("9F 09", true);
        QCOMPARE(form.Memo1->place(), std::optional<TextPlace>({1, 2}));

        dialogs.choose(dir / "out.txt");
        form.SaveAs1->trigger();
        QCOMPARE(form.statusBar()->currentMessage(),
                 QString::fromStdString("保存しました: " + dir / "out.txt") +
                     QString("（%1 バイト）").arg(readFile(dir / "out.txt").size()));
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

        // A step of progress.total() slow parts after `first`, whose box goes to `onBox`.
        const auto slowStep = [&owner](StepKind kind, Progress& progress,
                                       const std::function<void()>& first,
                                       const std::function<void(QProgressDialog&)>& onBox) {
            testing::answerModal<int>(
                [&] {
                    runLongStep(&owner, kind, progress, [&] {
                        first();
                        for (std::uint64_t i = 0; i < progress.total(); ++i) {
                            tell(&progress, 1);
                            std::this_thread::sleep_for(std::chrono::milliseconds(10));
                        }
                    });
                    return 0;
                },
                [&](QWidget* modal) {
                    if (auto* box = qobject_cast<QProgressDialog*>(modal)) onBox(*box);
                });
        };

        Progress slow(1000);
        QString label;
        bool stopped = false;
        QElapsedTimer clock;
        clock.start();
        try {
            slowStep(
                StepKind::Save, slow, [] {},
                [&](QProgressDialog& box) {
                    label = box.labelText();
                    box.findChild<QPushButton*>()->click();
                });
        } catch (const EAbort&) {
            stopped = true;
        }
        QVERIFY(stopped);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(label, QString("ファイルを保存しています..."));

        // A conversion that began to give up the old text goes on to its end, and a
        // cancel says so in a conversion's words.
        Progress committed(100);
        QString refusal;
        bool committedFirst = false;
        slowStep(
            StepKind::Convert, committed, [&] { committedFirst = committed.commit(); },
            [&](QProgressDialog& box) {
                box.reject();
                refusal = box.labelText();
            });
        QVERIFY(committedFirst);
        QCOMPARE(refusal, QString("変換を完了しています。キャンセルできません。"));
        QVERIFY(committed.cancelRefused());
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
