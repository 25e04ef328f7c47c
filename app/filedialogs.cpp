#include "filedialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>
#include <filesystem>
#include <system_error>

#include "commands/filenametext.h"

namespace velmor {

namespace {

// The commands ask about overwriting themselves, and a typed name is taken as it is
// (no extension added).
constexpr QFileDialog::Options kOptions = QFileDialog::DontUseNativeDialog |
                                          QFileDialog::HideNameFilterDetails |
                                          QFileDialog::DontConfirmOverwrite;

// Wide and tall enough that the name, size, type and date columns read in full;
// never more than most of the screen. A size the user gives it later stays.
QSize firstSize(const QWidget* dialog) {
    const QFontMetrics metrics = dialog->fontMetrics();
    QSize size(metrics.averageCharWidth() * 130, metrics.height() * 34);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableSize() * 9 / 10;
        size = size.boundedTo(room);
    }
    return size;
}

// The size, type and date columns as wide as what they show, the name taking the
// rest; the list of places wide enough for its names.
void fitColumns(QFileDialog* dialog) {
    if (auto* splitter = dialog->findChild<QSplitter*>("splitter")) {
        const int places = dialog->fontMetrics().averageCharWidth() * 18;
        splitter->setSizes({places, dialog->width() - places});
    }
    auto* details = dialog->findChild<QTreeView*>("treeView");
    if (!details) return;
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
}

QFileDialog* makeDialog(QWidget* owner, const char* name, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(owner);
    dialog->setObjectName(name);
    dialog->setAcceptMode(mode);
    // Options first: the size applies to Qt's own dialog, which they select.
    dialog->setOptions(kOptions);
    dialog->resize(firstSize(dialog));
    fitColumns(dialog);
    return dialog;
}

// Closes the file name completion list, which would otherwise stay over the main
// window and swallow the next key or click when a typed name ended the dialog.
void closeCompletion(QFileDialog* dialog) {
    for (QCompleter* completer : dialog->findChildren<QCompleter*>()) {
        if (completer->popup()) completer->popup()->hide();
    }
}

// Puts `name` in the dialog's name box as the one chosen: what is selected in its lists
// would go first.
void typeName(QFileDialog* dialog, const QString& name) {
    for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
        if (view->objectName() == "listView" || view->objectName() == "treeView")
            view->clearSelection();
    }
    if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) edit->setText(name);
}

}  // namespace

FileDialogs::FileDialogs(QWidget* owner)
    : OpenDialog1(makeDialog(owner, "OpenDialog1", QFileDialog::AcceptOpen)),
      SaveDialog1(makeDialog(owner, "SaveDialog1", QFileDialog::AcceptSave)) {
    addOtherNames(OpenDialog1, openNames_);
    addOtherNames(SaveDialog1, saveNames_);
}

void FileDialogs::addOtherNames(QFileDialog* dialog, OtherNames& names) {
    auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
    names.list = new QListWidget(dialog);
    names.list->setObjectName("otherNames");
    names.list->setMaximumHeight(names.list->fontMetrics().height() * 5);
    auto* label = new QLabel(QString::fromUtf8("その他の名前:"), dialog);
    label->setObjectName("otherNamesLabel");
    label->setToolTip(QString::fromUtf8("UTF-8 でない名前（Shift-JIS として表示）"));
    if (grid) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(names.list, row, 1, 1, grid->columnCount() - 1);
    }
    const auto shown = [&names, label] {
        names.list->setVisible(names.list->count() > 0);
        label->setVisible(names.list->count() > 0);
    };
    QObject::connect(dialog, &QFileDialog::directoryEntered, names.list,
                     [&names, shown](const QString& folder) {
                         listOtherNames(names, folder);
                         shown();
                     });
    // A name chosen here goes into the name box; twice, and the dialog takes it.
    QObject::connect(names.list, &QListWidget::itemClicked, dialog,
                     [dialog](QListWidgetItem* item) { typeName(dialog, item->text()); });
    QObject::connect(names.list, &QListWidget::itemDoubleClicked, dialog,
                     [dialog](QListWidgetItem* item) {
                         typeName(dialog, item->text());
                         QMetaObject::invokeMethod(dialog, "accept");
                     });
    shown();
}

void FileDialogs::listOtherNames(OtherNames& names, const QString& folder) {
    names.list->clear();
    names.bytes.clear();
    names.folder = QFile::encodeName(folder).toStdString();
    std::error_code error;
    for (std::filesystem::directory_iterator entry(names.folder, error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().native();
        if (isUtf8(name) || entry->is_directory(error)) continue;
        const QString shown = QString::fromStdString(displayFileName(name));
        names.bytes[shown] = name;
    }
    for (const auto& [shown, bytes] : names.bytes) names.list->addItem(shown);
}

std::string FileDialogs::chosenPath(const OtherNames& names, const QString& selected) {
    const std::string path = QFile::encodeName(selected).toStdString();
    const std::filesystem::path chosen(path);
    std::error_code error;
    if (std::filesystem::symlink_status(chosen, error).type() !=
        std::filesystem::file_type::not_found) {
        return path;  // a UTF-8 name that is there wins
    }
    const auto found = names.bytes.find(QFileInfo(selected).fileName());
    if (found == names.bytes.end() || chosen.parent_path() != names.folder) return path;
    return (chosen.parent_path() / found->second).native();
}

QStringList nameFiltersFor(const std::string& filter) {
    const QStringList parts = QString::fromUtf8(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            if (pattern == "*.*") pattern = "*";
        }
        filters << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

bool FileDialogs::run(FileDialogKind kind, FileDialogState& state) {
    QFileDialog* dialog = kind == FileDialogKind::Open ? OpenDialog1 : SaveDialog1;
    // Options are set anew before each use.
    dialog->setOptions(kOptions);
    // A typed name of a file that does not exist is returned too; loading it then
    // fails with a message the user can read.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QString());
    const QStringList filters = nameFiltersFor(state.filter);
    dialog->setNameFilters(filters);
    if (state.filterIndex >= 1 && state.filterIndex <= filters.size()) {
        dialog->selectNameFilter(filters[state.filterIndex - 1]);
    }
    OtherNames& names = kind == FileDialogKind::Open ? openNames_ : saveNames_;
    if (!state.fileName.empty()) {
        const std::string shown = displayFileName(state.fileName);
        dialog->selectFile(QString::fromStdString(shown));
    }
    listOtherNames(names, dialog->directory().absolutePath());
    names.list->setVisible(names.list->count() > 0);
    if (auto* label = dialog->findChild<QLabel*>("otherNamesLabel"))
        label->setVisible(names.list->count() > 0);
    const int result = dialog->exec();
    closeCompletion(dialog);
    if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return false;
    state.fileName = chosenPath(names, dialog->selectedFiles().first());
    state.filterIndex = static_cast<int>(filters.indexOf(dialog->selectedNameFilter())) + 1;
    if (state.filterIndex < 1) state.filterIndex = 1;
    return true;
}

}  // namespace velmor
