#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QtTest>

#include "app/filedialogs.h"
#include "modalanswer.h"
#include "support/tempfolder.h"

namespace velmor {

using testing::TempFolder;
using testing::writeFile;

namespace {

QStringList listedNames(QFileDialog* dialog) {
    auto* list = dialog->findChild<QListView*>("listView");
    QStringList names;
    if (!list || !list->model()) return names;
    const QModelIndex root = list->rootIndex();
    for (int row = 0; row < list->model()->rowCount(root); ++row) {
        names << list->model()->index(row, 0, root).data().toString();
    }
    names.sort();
    return names;
}

// Types `name` into the dialog's file name box and accepts it.
void typeAndAccept(QWidget* modal, const QString& name) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    QVERIFY(dialog);
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
    QMetaObject::invokeMethod(dialog, "accept");
}

}  // namespace

class FileDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void filtersShowTheirDescriptionsAndListAllForStarDotStar() {
        QCOMPARE(nameFiltersFor("Text files (*.txt)|*.TXT|すべてのファイル(*.*)|*.*"),
                 QStringList({"Text files (*.txt) (*.TXT)", "すべてのファイル(*.*) (*)"}));
        QCOMPARE(nameFiltersFor("すべて (*.*)|*.*"), QStringList({"すべて (*.*) (*)"}));
    }

    void openDialogListsTextFilesOfAnyCaseAndReturnsTypedNames() {
        TempFolder dir;
        writeFile((dir / "a.txt"), "");
        writeFile((dir / "B.TXT"), "");
        writeFile((dir / "c.dat"), "");
        QWidget owner;
        FileDialogs dialogs(&owner);
        FileDialogState state;
        state.filter = "Text files (*.txt)|*.TXT|すべてのファイル(*.*)|*.*";
        state.fileName = dir / "new.txt";  // the folder to start in
        QStringList listed, shownFilters;
        bool accepted = testing::answerModal<bool>(
            [&] { return dialogs.run(FileDialogKind::Open, state); },
            [&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                (void)QTest::qWaitFor([&] { return listedNames(dialog).size() >= 2; });
                listed = listedNames(dialog);
                auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
                for (int i = 0; types && i < types->count(); ++i) {
                    shownFilters << types->itemText(i);
                }
                typeAndAccept(modal, "missing.txt");
            });
        QVERIFY(accepted);
        QCOMPARE(listed, QStringList({"B.TXT", "a.txt"}));
        QCOMPARE(shownFilters, QStringList({"Text files (*.txt)", "すべてのファイル(*.*)"}));
        QCOMPARE(QString::fromStdString(state.fileName),
                 QString::fromStdString((dir / "missing.txt")));
        QCOMPARE(state.filterIndex, 1);
    }

    void cancelledDialogChangesNothing() {
        QWidget owner;
        FileDialogs dialogs(&owner);
        FileDialogState state;
        state.filter = "すべて (*.*)|*.*";
        state.fileName = "/tmp/kept.txt";
        bool accepted = testing::answerModal<bool>(
            [&] { return dialogs.run(FileDialogKind::Save, state); },
            [](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        QVERIFY(!accepted);
        QCOMPARE(state.fileName, std::string("/tmp/kept.txt"));
    }
};

}  // namespace velmor

QTEST_MAIN(velmor::FileDialogsTest)
#include "filedialogs_test.moc"
