#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "app/filedialogs.h"
#include "app/qttranslation.h"
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

    // Names that are no UTF-8, which Qt does not list, are listed read as Shift-JIS;
    // the one chosen comes back as its bytes, and so does the name it was shown as.
    void shiftJisNamesAreListedAndChosenByTheirBytes() {
        TempFolder dir;
        const std::string name = "\x83\x65\x83\x58\x83\x67.txt";  // テスト.txt
        writeFile(dir / name, "");
        writeFile(dir / "plain.txt", "");
        QWidget owner;
        FileDialogs dialogs(&owner);
        FileDialogState state;
        state.filter = "すべて (*.*)|*.*";
        state.fileName = dir / "plain.txt";
        for (bool doubleClick : {true, false}) {
            QStringList listed;
            const bool accepted = testing::answerModal<bool>(
                [&] { return dialogs.run(FileDialogKind::Save, state); },
                [&](QWidget* modal) {
                    auto* others = modal->findChild<QListWidget*>("otherNames");
                    for (int i = 0; i < others->count(); ++i) listed << others->item(i)->text();
                    if (doubleClick) {
                        emit others->itemDoubleClicked(others->item(0));
                    } else {
                        // Chosen before: the name box shows it read as Shift-JIS.
                        QCOMPARE(modal->findChild<QLineEdit*>("fileNameEdit")->text(),
                                 QString("テスト.txt"));
                        QMetaObject::invokeMethod(modal, "accept");
                    }
                });
            QVERIFY(accepted);
            QCOMPARE(listed, QStringList({"テスト.txt"}));
            QCOMPARE(state.fileName, dir / name);
        }
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

    // Qt's texts in Japanese; a size where the columns read, kept once the user
    // changed it; and no completion list left open after a typed name was accepted.
    void japaneseRoomyAndLeavesNoCompletionOpen() {
        QVERIFY(installQtJapanese());
        TempFolder dir;
        writeFile((dir / "completion-target.txt"), "");
        QWidget owner;
        FileDialogs dialogs(&owner);
        FileDialogState state;
        state.filter = "すべて (*.*)|*.*";
        state.fileName = dir / "x";
        QString title, cancel;
        QSize firstSize;
        bool completionShown = false;
        bool accepted = testing::answerModal<bool>(
            [&] { return dialogs.run(FileDialogKind::Open, state); },
            [&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                title = dialog->windowTitle();
                firstSize = dialog->size();
                auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox");
                cancel = box->button(QDialogButtonBox::Cancel)->text();
                auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
                edit->setFocus();
                QTest::keyClicks(edit, "completion-t");
                // The folder is read in the background: type on until it offers a completion.
                completionShown = QTest::qWaitFor([edit] {
                    QTest::keyClick(edit, Qt::Key_Backspace);
                    QTest::keyClick(edit, 't');
                    return QApplication::activePopupWidget() != nullptr;
                });
                edit->setText(QString::fromStdString(dir / "completion-target.txt"));
                QMetaObject::invokeMethod(dialog, "accept");
            });
        QVERIFY(accepted);
        QVERIFY(completionShown);
        QVERIFY(QApplication::activePopupWidget() == nullptr);
        QCOMPARE(title, QString("開く"));
        QCOMPARE(cancel, QString("キャンセル"));
        const QSize room = QGuiApplication::primaryScreen()->availableSize() * 9 / 10;
        QVERIFY(firstSize.width() >= std::min(800, room.width()));
        QVERIFY(firstSize.height() >= std::min(450, room.height()));

        std::vector<QSize> shown;
        for (int run = 0; run < 2; ++run) {
            testing::answerModal<bool>([&] { return dialogs.run(FileDialogKind::Open, state); },
                                       [&](QWidget* modal) {
                                           shown.push_back(modal->size());
                                           modal->resize(700, 420);
                                           qobject_cast<QDialog*>(modal)->reject();
                                       });
        }
        QCOMPARE(shown, (std::vector<QSize>{firstSize, QSize(700, 420)}));
    }
};

}  // namespace velmor

QTEST_MAIN(velmor::FileDialogsTest)
#include "filedialogs_test.moc"
