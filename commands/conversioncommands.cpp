#include "conversioncommands.h"

#include <string>
#include <string_view>
#include <vector>

#include "conversionrules.h"
#include "convert/converters.h"
#include "convert/documentconversion.h"
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
    facts.noText = ws.document.TextSize() == 0;
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
// (`other`). A conversion cancelled before it began to replace the text leaves the
// text, the flags and the scan state as they were; from there on it goes to its end.
void convertWhole(Workspace& ws, const StepRunner& runner, Direction direction, std::int32_t& done,
                  std::int32_t& other) {
    const ScanState scanBefore = ws.scan;
    const std::int32_t doneBefore = done;
    done = 0;
    Progress progress(ws.document.TextSize());
    const auto step = [&] {
        Progress* told = runner ? &progress : nullptr;
        // The report's places are found in the lines where the conversion saw a sign of
        // them, before each is replaced; positions are those of the file while the text
        // is still as loaded, since a converted text's columns are no longer the file's.
        ConversionReport found;
        const LoadColumnMap columns(ws.report.conversions() == 0 ? ws.report : ConversionReport{});
        const ReportSearch search{ws.gaiji.empty() ? nullptr : &ws.gaiji, &columns, &found};
        const std::vector<ReportEntry> moved = movedViewPlaces(ws, direction);
        ws.scan.mayReport = 0;
        convertDocument(ws.document, direction, ws.scan, done, told, search);
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
    if (ws.document.TextSize() == 0) {
        dialogs.messageBox(windowText(Refusal::NoText), MsgKind::Information, mbOK);
        return;
    }
    ws.scan.HasVelmorCodes = containsKanjiIn(ws.document) ? 1 : 0;
}

}  // namespace velmor
