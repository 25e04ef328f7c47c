#pragma once

#include <string>

#include "convert/workspace.h"
#include "document/userdialogs.h"

namespace velmor {

// What the file commands need of the main window.
class FileCommandHost {
  public:
    virtual ~FileCommandHost() = default;
    // Enables or disables the Close and Save As menu items together.
    virtual void setFileItemsEnabled(bool enabled) = 0;
    // Ends the message loop directly, without asking the close query.
    virtual void terminateApplication() = 0;
};

// Open, Close, Save As, Exit and the window's close query. They move the Document
// between disk and view, ask before unsaved work is dropped, and never drop it
// unless the user said No or the save was completed.
class FileCommands {
  public:
    FileCommands(Workspace& ws, UserDialogs& dialogs, FileCommandHost& host)
        : ws_(ws), dialogs_(dialogs), host_(host) {}

    void Open1Click();
    void Close1Click();
    void SaveAs1Click();
    void Exit1Click();
    // Sets CanClose to false when the window must stay open.
    void closequery(bool& CanClose);

    // The two file dialogs; each remembers its last path and file type.
    FileDialogState OpenDialog1;
    FileDialogState SaveDialog1;

  private:
    enum class SaveOutcome { Written, DialogCancelled, OverwriteRefused };
    SaveOutcome saveSequence(bool clearMarkAfterWrite);
    int askSaveQuestion();
    void closeDocument();

    Workspace& ws_;
    UserDialogs& dialogs_;
    FileCommandHost& host_;
};

// The file name shown in the overwrite question: the path after its last "/".
std::string bareFileName(const std::string& path);

inline constexpr char kOpenFilter[] = "Text files (*.txt)|*.TXT|すべてのファイル(*.*)|*.*";
inline constexpr char kSaveFilter[] = "すべて (*.*)|*.*";
inline constexpr char kMsgCloseFirst[] = "一旦、閉じてから開き直して下さい。";
inline constexpr char kMsgSaveChanges[] = "ファイルが更新されています。保存しますか？";
inline constexpr char kMsgOverwriteSuffix[] = "は既存です。上書きしますか？";

}  // namespace velmor
