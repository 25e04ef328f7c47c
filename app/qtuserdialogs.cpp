#include "qtuserdialogs.h"

#include <QApplication>

#include "messagebox.h"

namespace velmor {

NormalPointer::NormalPointer() : active_(QApplication::overrideCursor() != nullptr) {
    if (active_) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

NormalPointer::~NormalPointer() {
    if (active_) QApplication::restoreOverrideCursor();
}

int QtUserDialogs::messageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    NormalPointer pointer;
    return showMessageBox(text, kind, buttons);
}

bool QtUserDialogs::runFileDialog(FileDialogKind kind, FileDialogState& state) {
    NormalPointer pointer;
    return files_.run(kind, state);
}

}  // namespace velmor
