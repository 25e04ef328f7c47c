#include "conversioncommands.h"

#include <functional>
#include <string>

#include "convert/converters.h"
#include "messages.h"
#include "reporting.h"

namespace velmor {

namespace {

bool refuseWithoutDocument(const Workspace& ws, UserDialogs& dialogs) {
    if (!ws.document.WholeText().empty()) return false;
    dialogs.messageBox(kMsgOpenFileFirst, MsgKind::Information, mbOK);
    return true;
}

void refuseDoubleConversion(UserDialogs& dialogs) {
    dialogs.messageBox(kMsgDoubleConversion, MsgKind::Information, mbOK);
}

// Runs the conversion and the replacement through `runner`, or right here.
void runConversion(const StepRunner& runner, const std::function<void()>& step) {
    if (!runner) return step();
    StepProgress progress(0);
    runner(StepKind::Convert, progress, step);
}

// Converts the whole Document and replaces its text. The scan sets `done`; a
// conversion that met anything marks the text and allows the way back (`other`).
void convertWhole(Workspace& ws, const StepRunner& runner, Direction direction, std::int32_t& done,
                  std::int32_t& other) {
    done = 0;
    runConversion(runner, [&] {
        std::string output;
        ws.scan.mayReport = 0;
        if (direction == Direction::ToSjis) {
            convertVelmorToSjis(ws.document.WholeText(), ws.scan, done, output);
        } else {
            convertSjisToVelmor(ws.document.WholeText(), ws.scan, done, output);
        }
        ConversionReport found = findConversionEntries(ws, direction);
        ws.document.ReplaceText(std::move(output));
        ws.report.addConversion(found);
    });
    if (done == 1) {
        ws.document.SetModifiedMark(true);
        other = 0;
    }
}

}  // namespace

void velmorSjisThrough(Workspace& ws, UserDialogs& dialogs, const StepRunner& runner) {
    if (refuseWithoutDocument(ws, dialogs)) return;
    if (ws.state.ToSjisDone == 1) return refuseDoubleConversion(dialogs);
    convertWhole(ws, runner, Direction::ToSjis, ws.state.ToSjisDone, ws.state.ToVelmorDone);
}

void velmor_sjisClick(Workspace& ws, UserDialogs& dialogs) {
    velmorSjisThrough(ws, dialogs, StepRunner());
}

void sjis_velmorClick(Workspace& ws, UserDialogs& dialogs) {
    sjisVelmorThrough(ws, dialogs, StepRunner());
}

void velmor_check(Workspace& ws, UserDialogs& dialogs) {
    if (refuseWithoutDocument(ws, dialogs)) return;
    ws.scan.HasVelmorCodes = containsKanjiIn(ws.document.WholeText()) ? 1 : 0;
}

void sjisVelmorThrough(Workspace& ws, UserDialogs& dialogs, const StepRunner& runner) {
    if (refuseWithoutDocument(ws, dialogs)) return;
    if (ws.state.ToVelmorDone == 1) return refuseDoubleConversion(dialogs);
    velmor_check(ws, dialogs);
    if (ws.scan.HasVelmorCodes == 1 &&
        dialogs.messageBox(kMsgAlreadyVelmor, MsgKind::Confirmation, mbYes | mbCancel) != mrYes) {
        return;
    }
    convertWhole(ws, runner, Direction::ToVelmor, ws.state.ToVelmorDone, ws.state.ToSjisDone);
}

}  // namespace velmor
