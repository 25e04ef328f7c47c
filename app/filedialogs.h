#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <string>

#include "commands/userdialogs.h"

class QFileDialog;
class QListWidget;
class QWidget;

namespace velmor {

// The program's open and save dialogs: Qt's own (not the desktop's) file dialog,
// so they behave the same everywhere. Each dialog object lives as long as its
// owner and remembers its folder and file type between uses. Qt lists only names
// that are UTF-8; the files of the folder whose names are not (Shift-JIS names from
// Windows disks) are listed below, read as Shift-JIS, and chosen by their bytes.
class FileDialogs {
  public:
    explicit FileDialogs(QWidget* owner);

    // Shows the dialog of `kind` modally with the filter, options, file name and
    // file type in `state`. On acceptance writes the chosen path and file type back.
    bool run(FileDialogKind kind, FileDialogState& state);

    QFileDialog* OpenDialog1;
    QFileDialog* SaveDialog1;

  private:
    // The names of one dialog's folder that are no UTF-8, by the name shown.
    struct OtherNames {
        QListWidget* list = nullptr;
        std::string folder;                    // bytes of the folder listed
        std::map<QString, std::string> bytes;  // shown name -> the name's bytes
    };
    void addOtherNames(QFileDialog* dialog, OtherNames& names);
    static void listOtherNames(OtherNames& names, const QString& folder);
    // The path of the accepted name: its bytes where it was chosen among the other names.
    static std::string chosenPath(const OtherNames& names, const QString& selected);

    OtherNames openNames_;
    OtherNames saveNames_;
};

// Qt name filters for a "description|pattern|description|pattern" filter. The
// patterns go in parentheses behind each description, for the dialog to use and
// hide; "*.*" lists every entry, as it does for the users of such filters.
QStringList nameFiltersFor(const std::string& filter);

}  // namespace velmor
