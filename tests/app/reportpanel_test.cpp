#include <QAbstractItemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

#include "app/bytepane.h"
#include "app/memoview.h"
#include "app/reportpanel.h"
#include "app/unit1.h"
#include "fakeplatform.h"
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
        QVERIFY(form.reportPanel()->isHidden());
        QVERIFY(form.Memo1->marks().empty());
        form.Close1Click();

        dialogs.choose(folder / "gaiji.txt");
        form.Open1Click();
        QVERIFY(form.reportPanel()->isHidden());
        form.sjis_velmorClick();
        QVERIFY(!form.reportPanel()->isHidden());
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
        QVERIFY(form.reportPanel()->isHidden());
        QVERIFY(form.reportPanel()->list() == nullptr);
        QVERIFY(form.Memo1->marks().empty());
        QVERIFY(form.workspace().report.empty());
    }

    // Load entries and a conversion's in the order of their places, sorted by a header,
    // copied and saved; a row chosen opens the byte pane at its place, whose mark the
    // conversion moved along with its bytes.
    void listInPlaceOrderSortsCopiesSavesAndOpensTheBytes() {
        TempFolder folder;
        // Line 1: a lone CR before B; line 2: a gaiji; then Ctrl-Z and 20 bytes not loaded.
        writeFile(folder / "in.txt",
                  bytes({'A', 0x0D, 'B', 0x0A, 0xF0, 0x40, 0x0A, 0x1A}) + std::string(20, 'z'));
        testing::FakePlatform platform;
        ScriptedDialogs dialogs;
        TForm1 form(&dialogs);
        form.resize(400, 300);
        form.show();
        dialogs.choose(folder / "in.txt");
        form.Open1Click();
        form.sjis_velmorClick();
        form.reportListAction->trigger();
        QTableView* list = form.reportPanel()->listView();
        QVERIFY(list);
        QAbstractItemModel* rows = list->model();
        const auto column = [&](int c) {
            QStringList cells;
            for (int r = 0; r < rows->rowCount(); ++r) cells << rows->index(r, c).data().toString();
            return cells;
        };
        QCOMPARE(column(1), QStringList({"1", "2", "3"}));
        QCOMPARE(column(3).last(),
                 QString("7A 7A 7A 7A 7A 7A 7A 7A 7A 7A 7A 7A 7A 7A 7A 7A …（20 バイト）"));
        list->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);  // by kind
        QCOMPARE(column(0), QStringList({"外字", "単独の CR", "終端記号の後"}));

        list->selectRow(0);
        list->selectionModel()->select(rows->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list->parentWidget()->findChild<QPushButton*>("copy")->click();
        QCOMPARE(platform.clipboard, QString("種類\t行\t桁\tバイト\n外字\t2\t1\tF0 40\n"
                                             "終端記号の後\t3\t1\t") +
                                         column(3).last() + "\n");
        dialogs.choose(folder / "report.csv");
        list->parentWidget()->findChild<QPushButton*>("saveCsv")->click();
        QCOMPARE(QString::fromStdString(testing::readFile(folder / "report.csv")).count("\r\n"), 4);

        // Line 1 as converted: 41 42 20; the mark of the lone CR stays on B.
        emit list->activated(rows->index(1, 0));
        QVERIFY(form.bytePane()->isVisible());
        QCOMPARE(form.bytePane()->shownPlace(), std::optional<TextPlace>({0, 1}));
        QCOMPARE(form.Memo1->marks()[0].column, size_t(1));
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
        QVERIFY(!form.reportPanel()->isHidden());

        writeFile(folder / "velmor-kanji/gaiji.tsv", "7F21 F040\n7F21 F041\n");
        testing::RecordedErrors errors;
        TForm1 bad(&dialogs);
        bad.loadUserGaijiTable();
        QCOMPARE(errors.texts.size(), size_t(1));
        QVERIFY(errors.texts[0].find("gaiji.tsv:2: VELMOR の組 7F21 は 1 行目にもあります") !=
                std::string::npos);
        QVERIFY(errors.texts[0].find("外字表は使用していません") != std::string::npos);
        QVERIFY(bad.workspace().gaiji.empty());
        QVERIFY(bad.reportPanel()->isHidden());
        qunsetenv("XDG_CONFIG_HOME");
    }
};

}  // namespace velmor

QTEST_MAIN(velmor::ReportPanelTest)
#include "reportpanel_test.moc"
