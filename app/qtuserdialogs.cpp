#include "qtuserdialogs.h"

#include <QApplication>

#include "messagebox.h"

namespace velmor {

namespace {

// Shows the arrow pointer for as long as it lives, if a wait cursor is up.
class NormalPointer {
  public:
    NormalPointer() : active_(QApplication::overrideCursor() != nullptr) {
        if (active_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalPointer() {
        if (active_) QApplication::restoreOverrideCursor();
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

  private:
    bool active_;
};

}  // namespace

int QtUserDialogs::messageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    NormalPointer pointer;
    return showMessageBox(text, kind, buttons);
}

bool QtUserDialogs::runFileDialog(FileDialogKind kind, FileDialogState& state) {
    NormalPointer pointer;
    return files_.run(kind, state);
}

}  // namespace velmor
