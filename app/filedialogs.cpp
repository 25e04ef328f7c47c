#include "filedialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

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

}  // namespace

FileDialogs::FileDialogs(QWidget* owner)
    : OpenDialog1(makeDialog(owner, "OpenDialog1", QFileDialog::AcceptOpen)),
      SaveDialog1(makeDialog(owner, "SaveDialog1", QFileDialog::AcceptSave)) {}

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
    if (!state.fileName.empty()) dialog->selectFile(QFile::decodeName(state.fileName.c_str()));
    const int result = dialog->exec();
    closeCompletion(dialog);
    if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return false;
    state.fileName = QFile::encodeName(dialog->selectedFiles().first()).toStdString();
    state.filterIndex = static_cast<int>(filters.indexOf(dialog->selectedNameFilter())) + 1;
    if (state.filterIndex < 1) state.filterIndex = 1;
    return true;
}

}  // namespace velmor
