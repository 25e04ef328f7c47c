#pragma once

#include <QStringList>

#include "commands/userdialogs.h"

class QFileDialog;
class QWidget;

namespace velmor {

// The program's open and save dialogs: Qt's own (not the desktop's) file dialog,
// so they behave the same everywhere. Each dialog object lives as long as its
// owner and remembers its folder and file type between uses.
class FileDialogs {
  public:
    explicit FileDialogs(QWidget* owner);

    // Shows the dialog of `kind` modally with the filter, options, file name and
    // file type in `state`. On acceptance writes the chosen path and file type back.
    bool run(FileDialogKind kind, FileDialogState& state);

    QFileDialog* OpenDialog1;
    QFileDialog* SaveDialog1;
};

// Qt name filters for a "description|pattern|description|pattern" filter. The
// patterns go in parentheses behind each description, for the dialog to use and
// hide; "*.*" lists every entry, as it does for the users of such filters.
QStringList nameFiltersFor(const std::string& filter);

}  // namespace velmor
