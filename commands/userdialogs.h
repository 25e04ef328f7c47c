#pragma once

#include <string>
#include <string_view>

namespace velmor {

// Everything a command shows to or asks of the user goes through UserDialogs.
// The program plugs in real windows; tests plug in scripted answers.

// Message kinds, in their fixed order.
enum class MsgKind { Warning = 0, Error = 1, Information = 2, Confirmation = 3, Custom = 4 };

// Buttons of a message box: a set is the OR of their bit values.
enum MsgButton : unsigned {
    mbYes = 1,
    mbNo = 2,
    mbOK = 4,
    mbCancel = 8,
    mbAbort = 16,
    mbRetry = 32,
    mbIgnore = 64,
    mbAll = 128,
    mbNoToAll = 256,
    mbYesToAll = 512,
    mbHelp = 1024,
};
using MsgButtons = unsigned;

// Result codes of a message box.
enum MsgResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

enum class FileDialogKind { Open, Save };

// A file dialog as the commands see it. The commands set `filter` before every use;
// `fileName` and `filterIndex` carry over from the last use. The dialogs never change
// the process's current folder.
struct FileDialogState {
    std::string filter;    // "description|pattern|description|pattern..."
    std::string fileName;  // shown at opening; the chosen path after an accepted dialog
    int filterIndex = 1;   // 1-based selected file type
};

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;
    // Shows a modal message box and returns the result code of the answer.
    // `text` is UTF-8 and may hold CR LF line breaks.
    virtual int messageBox(std::string_view text, MsgKind kind, MsgButtons buttons) = 0;
    // Shows a modal file dialog. Returns true when a file was chosen; its path is then
    // in state.fileName. A cancelled dialog returns false and leaves state unchanged.
    virtual bool runFileDialog(FileDialogKind kind, FileDialogState& state) = 0;
};

}  // namespace velmor
