#include <QStatusBar>
#include <QTableView>
#include <QtTest>

#include "app/memoview.h"
#include "app/reportpanel.h"
#include "app/unit1.h"
#include "recordederrors.h"
#include "support/bytes.h"
#include "support/scripteddialogs.h"
#include "support/tempfolder.h"

namespace velmor {

using testing::bytes;
using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::writeFile;

// The conversion report in the main window, offscreen: the summary line shown only
// when there is something to say, the list and its jump, the marks, and Close.
class ReportPanelTest : public QObject {
    Q_OBJECT

  private slots:
    void summaryListJumpAndMarksUntilClose() {
        TempFolder folder;
        std::string text;
        for (int i = 0; i < 300; ++i) text += "line\r\n";
        text += bytes({'A', 0xF0, 0x40, 0x0D, 0x0A});  // a gaiji on line 301
        writeFile(folder / "gaiji.txt", text);
        writeFile(folder / "clean.txt", "abc\r\n");
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        form.resize(400, 300);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // Nothing to report: no summary line, no marks.
        dialogs.choose(folder / "clean.txt");
        form.Open1Click();
        form.sjis_velmorClick();
        QVERIFY(form.statusBar()->isHidden());
        QVERIFY(form.Memo1->marks().empty());
        form.Close1Click();

        dialogs.choose(folder / "gaiji.txt");
        form.Open1Click();
        QVERIFY(form.statusBar()->isHidden());
        form.sjis_velmorClick();
        QVERIFY(!form.statusBar()->isHidden());
        QCOMPARE(form.reportPanel()->text(),
                 QString("外字 1 文字を空白にしました（301 行目）— 詳細 (F8)"));
        // Output line 301: 41 93 70 20 20 93 F1 20; the two spaces are marked.
        QCOMPARE(form.Memo1->marks().size(), size_t(1));
        QCOMPARE(form.Memo1->marks()[0].line, size_t(300));
        QCOMPARE(form.Memo1->marks()[0].column, size_t(3));

        form.Memo1->showFirstLines();
        QTest::keyClick(&form, Qt::Key_F8);
        QVERIFY(form.reportPanel()->list() != nullptr);
        QTableView* list = form.reportPanel()->listView();
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(list->model()->index(0, 0).data().toString(), QString("外字"));
        QCOMPARE(list->model()->index(0, 1).data().toString(), QString("301"));
        QCOMPARE(list->model()->index(0, 2).data().toString(), QString("2"));
        QCOMPARE(list->model()->index(0, 3).data().toString(), QString("F0 40"));
        emit list->activated(list->model()->index(0, 0));
        QVERIFY(form.Memo1->firstVisibleLine() <= 300);
        QVERIFY(form.Memo1->firstVisibleLine() + form.Memo1->visibleLineCapacity() > 300);
        form.Memo1->viewport()->repaint();  // paints the mark

        // Closing (the converted text is kept unsaved: answer No) clears everything.
        dialogs.answer(mrNo);
        form.Close1Click();
        QVERIFY(form.statusBar()->isHidden());
        QVERIFY(form.reportPanel()->list() == nullptr);
        QVERIFY(form.Memo1->marks().empty());
        QVERIFY(form.workspace().report.empty());
    }

    void userGaijiTableIsCountedOrShownAsAnError() {
        TempFolder folder;
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder.path()));
        QDir().mkpath(QString::fromStdString(folder / "velmor-kanji"));
        writeFile(folder / "velmor-kanji/gaiji.tsv", "7F21 F040\n7F22 F041\n");
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        form.loadUserGaijiTable();
        QCOMPARE(form.reportPanel()->text(), QString("外字表 2 件を使用中"));
        QVERIFY(!form.statusBar()->isHidden());

        writeFile(folder / "velmor-kanji/gaiji.tsv", "7F21 F040\n7F21 F041\n");
        testing::RecordedErrors errors;
        TForm1 bad(&dialogs);
        bad.loadUserGaijiTable();
        QCOMPARE(errors.texts.size(), size_t(1));
        QVERIFY(errors.texts[0].find("gaiji.tsv:2: VELMOR の組 7F21 は 1 行目にもあります") !=
                std::string::npos);
        QVERIFY(errors.texts[0].find("外字表は使用していません") != std::string::npos);
        QVERIFY(bad.workspace().gaiji.empty());
        QVERIFY(bad.statusBar()->isHidden());
        qunsetenv("XDG_CONFIG_HOME");
    }
};

}  // namespace velmor

QTEST_MAIN(velmor::ReportPanelTest)
#include "reportpanel_test.moc"
