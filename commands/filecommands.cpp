#include "filecommands.h"

#include <filesystem>
#include <system_error>

#include "document/errors.h"
#include "document/keptfiles.h"
#include "document/loadsave.h"
#include "document/stopsignals.h"
#include "filenametext.h"
#include "messages.h"

namespace velmor {

std::string bareFileName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void openFile(Workspace& ws, const std::string& path, Progress* progress) {
    ws.document.ClearText();
    ws.report.clear();
    ws.state.OpenFileName = path;
    ws.state.ToSjisDone = 0;
    ws.state.ToVelmorDone = 0;
    try {
        memo1set(ws.document, ws.state.OpenFileName, &ws.report, progress);
    } catch (...) {
        // The lines read before the failure are not the file: saved, they would
        // replace it with its head. The error goes on to the user.
        ws.document.ClearText();
        ws.report.clear();
        throw;
    }
    ws.document.SetModifiedMark(false);
}

void saveFileAs(Workspace& ws, const std::string& path, Progress* progress) {
    ws.state.SaveFileName = path;
    memo1_get_out(ws.document, ws.state.SaveFileName, progress);
}

bool overwriteAllowed(const std::string& path, UserDialogs& dialogs) {
    if (!fileExists(path)) return true;
    const std::string question = displayFileName(bareFileName(path)) + kMsgOverwriteSuffix;
    // Only an explicit Yes overwrites; Escape or the close box keep the old file.
    return dialogs.messageBox(question, MsgKind::Confirmation, mbYes | mbNo) == mrYes;
}

int FileCommands::askSaveQuestion() {
    return dialogs_.messageBox(kMsgSaveChanges, MsgKind::Confirmation, mbYes | mbNo | mbCancel);
}

void FileCommands::closeDocument() {
    ws_.document.ClearText();
    ws_.report.clear();
    host_.setFileItemsEnabled(false);
}

void FileCommands::runWriteStep(Progress& progress, const std::function<void()>& step) {
    try {
        host_.runLongStep(StepKind::Save, progress, step);
    } catch (...) {
        endIfStopped();
        throw;
    }
    endIfStopped();
}

FileCommands::SaveOutcome FileCommands::saveSequence(bool clearMarkAfterWrite) {
    SaveDialog1.filter = kSaveFilter;
    if (!dialogs_.runFileDialog(FileDialogKind::Save, SaveDialog1))
        return SaveOutcome::DialogCancelled;
    // The chosen path is remembered even when the overwrite is refused.
    ws_.state.SaveFileName = SaveDialog1.fileName;
    if (!overwriteAllowed(SaveDialog1.fileName, dialogs_)) return SaveOutcome::OverwriteRefused;
    Progress progress(ws_.document.TextSize());
    try {
        runWriteStep(progress, [&] { saveFileAs(ws_, SaveDialog1.fileName, &progress); });
    } catch (const EAbort&) {
        // Cancelled: the old file is as it was and the work stays, as after a refusal.
        return SaveOutcome::OverwriteRefused;
    }
    // A cancel that came once the new file was replacing the old was refused.
    if (progress.cancelRefused()) {
        dialogs_.messageBox(kMsgSavedDespiteCancel, MsgKind::Information, mbOK);
    }
    if (clearMarkAfterWrite) ws_.document.SetModifiedMark(false);
    host_.fileSaved(SaveDialog1.fileName);
    return SaveOutcome::Written;
}

void FileCommands::offerKeptFiles() {
    for (KeptFile& kept : findKeptFiles()) {
        const std::string question = kMsgKeptFileWas + displayFileName(kept.target) +
                                     kMsgKeptFileIn + displayFileName(kept.copy) + kMsgKeptFileAsk;
        switch (dialogs_.messageBox(question, MsgKind::Confirmation, mbYes | mbNo | mbCancel)) {
            case mrYes: {
                Progress progress(kept.size);
                runWriteStep(progress, [&] { restoreKeptFile(kept, &progress); });
                if (progress.cancelRefused()) {
                    dialogs_.messageBox(kMsgSavedDespiteCancel, MsgKind::Information, mbOK);
                }
                break;
            }
            case mrNo:
                dropKeptFile(kept);
                break;
            default:
                break;  // asked again at the next start
        }
    }
}

bool FileCommands::refusedWhileOpen() {
    if (ws_.document.TextSize() == 0) return false;
    dialogs_.messageBox(kMsgCloseFirst, MsgKind::Information, mbOK);
    return true;
}

void FileCommands::Open1Click() {
    if (refusedWhileOpen()) return;
    OpenDialog1.filter = kOpenFilter;
    if (!dialogs_.runFileDialog(FileDialogKind::Open, OpenDialog1)) return;
    load(OpenDialog1.fileName);
}

void FileCommands::load(const std::string& path) {
    // As at start until the file is loaded, so a failed load leaves nothing to save.
    host_.setFileItemsEnabled(false);
    std::error_code unknown;
    const std::uintmax_t size = std::filesystem::file_size(path, unknown);
    Progress progress(unknown ? 0 : static_cast<std::uint64_t>(size));
    // A failed or cancelled load leaves the Document empty (openFile sees to that).
    host_.runLongStep(StepKind::Load, progress, [&] { openFile(ws_, path, &progress); });
    host_.setFileItemsEnabled(true);
}

void FileCommands::openGivenFile(const std::string& path) {
    if (refusedWhileOpen()) return;
    OpenDialog1.fileName = path;
    load(path);
}

void FileCommands::Close1Click() {
    if (!ws_.document.ModifiedMark()) return closeDocument();
    switch (askSaveQuestion()) {
        case mrYes:
            // A cancelled dialog or a refused overwrite keeps the unsaved work open.
            if (saveSequence(true) == SaveOutcome::Written) closeDocument();
            break;
        case mrNo:
            closeDocument();
            break;
        default:
            break;
    }
}

bool saveRefused(const Workspace& ws, UserDialogs& dialogs) {
    if (ws.document.TextSize() != 0) return false;
    dialogs.messageBox(kMsgOpenFileFirst, MsgKind::Information, mbOK);
    return true;
}

void FileCommands::SaveAs1Click() {
    if (saveRefused(ws_, dialogs_)) return;
    saveSequence(true);
}

void FileCommands::Exit1Click() {
    if (!ws_.document.ModifiedMark()) return host_.terminateApplication();
    switch (askSaveQuestion()) {
        case mrYes:
            if (saveSequence(false) == SaveOutcome::Written) host_.terminateApplication();
            break;
        case mrNo:
            host_.terminateApplication();
            break;
        default:
            break;
    }
}

void FileCommands::closequery(bool& CanClose) {
    if (!ws_.document.ModifiedMark()) return;
    switch (askSaveQuestion()) {
        case mrYes:
            CanClose = saveSequence(false) == SaveOutcome::Written;
            break;
        case mrNo:
            break;
        default:
            CanClose = false;
            break;
    }
}

}  // namespace velmor
