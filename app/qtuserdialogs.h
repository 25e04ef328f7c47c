#pragma once

#include "commands/userdialogs.h"
#include "filedialogs.h"

namespace velmor {

// Shows the arrow pointer for as long as it lives, if a wait cursor is up: for the
// boxes and dialogs a command shows.
class NormalPointer {
  public:
    NormalPointer();
    ~NormalPointer();
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

  private:
    bool active_;
};

// The real UserDialogs: our message box and Qt's file dialogs. While one is open
// the normal pointer shows, even when a command has put up the wait cursor.
class QtUserDialogs : public UserDialogs {
  public:
    explicit QtUserDialogs(QWidget* owner) : files_(owner) {}

    int messageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override;
    bool runFileDialog(FileDialogKind kind, FileDialogState& state) override;

  private:
    FileDialogs files_;
};

}  // namespace velmor
