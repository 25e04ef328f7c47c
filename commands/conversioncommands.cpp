#include "conversioncommands.h"

#include <string>
#include <string_view>

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

// Converts the whole Document and replaces its text, through `runner` (which shows
// how many of the text's bytes are converted) or right here. The scan sets `done`;
// a conversion that met anything marks the text and allows the way back (`other`).
void convertWhole(Workspace& ws, const StepRunner& runner, Direction direction, std::int32_t& done,
                  std::int32_t& other) {
    done = 0;
    const std::string_view text = ws.document.WholeText();
    StepProgress progress(text.size());
    const auto step = [&] {
        PartPlan plan = PartPlan::forThisMachine();
        if (runner) plan.sliceDone = [&progress](std::size_t bytes) { progress.add(bytes); };
        std::string output;
        ws.scan.mayReport = 0;
        if (direction == Direction::ToSjis) {
            convertVelmorToSjis(text, ws.scan, done, output, plan);
        } else {
            convertSjisToVelmor(text, ws.scan, done, output, plan);
        }
        ConversionReport found = findConversionEntries(ws, direction);
        ws.document.ReplaceText(std::move(output));
        ws.report.addConversion(found);
    };
    runner ? runner(StepKind::Convert, progress, step) : step();
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
