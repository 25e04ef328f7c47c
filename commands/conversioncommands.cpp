#include "conversioncommands.h"

#include <string>
#include <string_view>
#include <vector>

#include "conversionrules.h"
#include "convert/converters.h"
#include "convert/reportlocator.h"
#include "document/errors.h"
#include "messages.h"

namespace velmor {

namespace {

// The window asks the user where the rules leave a question open.
constexpr ConversionPolicy kWindowPolicy{true, false, false};

// True when the conversion in `direction` goes ahead; otherwise the user was told
// why not, or answered the question with anything but Yes.
bool goesAhead(Workspace& ws, UserDialogs& dialogs, Direction direction) {
    const std::int32_t done =
        direction == Direction::ToSjis ? ws.state.ToSjisDone : ws.state.ToVelmorDone;
    ConversionFacts facts;
    facts.noText = ws.document.WholeText().empty();
    facts.doneBefore = done == 1;
    Ruling ruling = ruleOnConversion(direction, facts, kWindowPolicy);
    if (ruling.verdict == Verdict::Convert && direction == Direction::ToVelmor) {
        velmor_check(ws, dialogs);
        facts.holdsKanjiIn = ws.scan.HasVelmorCodes == 1;
        ruling = ruleOnConversion(direction, facts, kWindowPolicy);
    }
    switch (ruling.verdict) {
        case Verdict::Convert:
            return true;
        case Verdict::Ask:
            return dialogs.messageBox(windowText(ruling.reason), MsgKind::Confirmation,
                                      mbYes | mbCancel) == mrYes;
        case Verdict::Refuse:
            break;
    }
    dialogs.messageBox(windowText(ruling.reason), MsgKind::Information, mbOK);
    return false;
}

// The entries of a conversion in `direction` that has just been computed from the
// Document's text, which it has not replaced yet. Searches the text only when the
// conversion's scan saw a sign of them (ws.scan.mayReport); positions are those of
// the file while the text is still as loaded.
ConversionReport findConversionEntries(const Workspace& ws, Direction direction) {
    ConversionReport found;
    if (ws.scan.mayReport != 1) return found;
    // Once converted, the text's columns are no longer the file's.
    const LoadColumnMap columns(ws.report.conversions() == 0 ? ws.report : ConversionReport{});
    locateConversionEntries(ws.document.WholeText(), direction,
                            ws.gaiji.empty() ? nullptr : &ws.gaiji, columns, found);
    return found;
}

// Where the view shows each entry of the report once the Document's text (not yet
// replaced) is converted in `direction`: the same bytes, converted.
std::vector<ReportEntry> movedViewPlaces(const Workspace& ws, Direction direction) {
    std::vector<ReportEntry> moved = ws.report.entries();
    for (ReportEntry& entry : moved) {
        moveViewPlace(entry, ws.document.LineAt(entry.viewLine), direction,
                      ws.gaiji.empty() ? nullptr : &ws.gaiji);
    }
    return moved;
}

// Converts the whole Document and replaces its text, through `runner` (which shows
// how many of the text's bytes are converted, and may cancel) or right here. The scan
// sets `done`; a conversion that met anything marks the text and allows the way back
// (`other`). A cancelled conversion leaves the text, the flags and the scan state as
// they were.
void convertWhole(Workspace& ws, const StepRunner& runner, Direction direction, std::int32_t& done,
                  std::int32_t& other) {
    const ScanState scanBefore = ws.scan;
    const std::int32_t doneBefore = done;
    done = 0;
    const std::string_view text = ws.document.WholeText();
    Progress progress(text.size());
    const auto step = [&] {
        Progress* told = runner ? &progress : nullptr;
        std::string output;
        ws.scan.mayReport = 0;
        if (direction == Direction::ToSjis) {
            convertVelmorToSjis(text, ws.scan, done, output, PartCut::forThisMachine(), told);
        } else {
            convertSjisToVelmor(text, ws.scan, done, output, PartCut::forThisMachine(), told);
        }
        ConversionReport found = findConversionEntries(ws, direction);
        const std::vector<ReportEntry> moved = movedViewPlaces(ws, direction);
        // The last moment a cancel can still leave the text as it was.
        tell(told, 0);
        ws.document.ReplaceText(std::move(output));
        std::size_t next = 0;
        ws.report.addConversion(found, [&](ReportEntry& entry) { entry = moved[next++]; });
    };
    try {
        runner ? runner(StepKind::Convert, progress, step) : step();
    } catch (const EAbort&) {
        ws.scan = scanBefore;
        done = doneBefore;
        throw;
    }
    if (done == 1) {
        ws.document.SetModifiedMark(true);
        other = 0;
    }
}

}  // namespace

void velmorSjisThrough(Workspace& ws, UserDialogs& dialogs, const StepRunner& runner) {
    if (!goesAhead(ws, dialogs, Direction::ToSjis)) return;
    convertWhole(ws, runner, Direction::ToSjis, ws.state.ToSjisDone, ws.state.ToVelmorDone);
}

void sjisVelmorThrough(Workspace& ws, UserDialogs& dialogs, const StepRunner& runner) {
    if (!goesAhead(ws, dialogs, Direction::ToVelmor)) return;
    convertWhole(ws, runner, Direction::ToVelmor, ws.state.ToVelmorDone, ws.state.ToSjisDone);
}

void velmor_sjisClick(Workspace& ws, UserDialogs& dialogs) {
    velmorSjisThrough(ws, dialogs, StepRunner());
}

void sjis_velmorClick(Workspace& ws, UserDialogs& dialogs) {
    sjisVelmorThrough(ws, dialogs, StepRunner());
}

void velmor_check(Workspace& ws, UserDialogs& dialogs) {
    if (ws.document.WholeText().empty()) {
        dialogs.messageBox(windowText(Refusal::NoText), MsgKind::Information, mbOK);
        return;
    }
    ws.scan.HasVelmorCodes = containsKanjiIn(ws.document.WholeText()) ? 1 : 0;
}

}  // namespace velmor
