// Both converters and both conversion commands on a Document built from any bytes:
// the fast converters equal the byte-by-byte ones, outputs stay within their length
// bounds, the commands keep their flags and mark consistent, and text made only of
// characters the code can hold survives Shift-JIS -> VELMOR -> Shift-JIS.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "commands/conversioncommands.h"
#include "convert/converters.h"
#include "convert/gaijitable.h"
#include "document/linebreaks.h"
#include "fuzzcheck.h"
#include "reference/reference.h"
#include "support/scripteddialogs.h"

namespace {

using velmor::Document;
using velmor::ScanState;
using velmor::Workspace;
using velmor::fuzz::hexDump;
using velmor::fuzz::InputReader;

std::string describe(const ScanState& s) {
    return "pair " + std::to_string(s.kanjiPair.first) + "," + std::to_string(s.kanjiPair.second) +
           " mode " + std::to_string(s.KanjiMode);
}

// Fast and reference converters from the same start give the same output, the same
// end state and the same flag, with the text cut into parts as `cut` says, telling
// `progress` when there is one.
void checkFastEqualsReference(const Document& doc, const ScanState& start,
                              const velmor::PartCut& cut, velmor::Progress* progress,
                              const velmor::GaijiTable* gaiji) {
    const std::string& text = doc.WholeText();
    using Fast = void (*)(std::string_view, ScanState&, std::int32_t&, std::string&,
                          const velmor::PartCut&, velmor::Progress*);
    using Slow = decltype(&velmor::convertVelmorToSjisReference);
    const auto compare = [&](const char* name, Fast convert, Slow reference) {
        ScanState fast = start, slow = start;
        std::int32_t fastDone = 0, slowDone = 0;
        std::string fastOut, slowOut;
        convert(text, fast, fastDone, fastOut, cut, progress);
        reference(text, slow, slowDone, slowOut, gaiji);
        FUZZ_CHECK(fastOut == slowOut && fastDone == slowDone,
                   std::string(name) + " of " + hexDump(text) + "\nfast: " + hexDump(fastOut) +
                       "\nreference: " + hexDump(slowOut));
        FUZZ_CHECK(fast.kanjiPair == slow.kanjiPair && fast.KanjiMode == slow.KanjiMode,
                   describe(fast) + " / " + describe(slow));
    };
    compare("VELMOR->SJIS", velmor::convertVelmorToSjis, velmor::convertVelmorToSjisReference);
    compare("SJIS->VELMOR", velmor::convertSjisToVelmor, velmor::convertSjisToVelmorReference);
    FUZZ_CHECK(velmor::containsKanjiIn(text) == velmor::containsKanjiInReference(text),
               hexDump(text));
}

// Every converted line ends with CR LF. To Shift-JIS a line can only shrink, except
// that a run left open at its last byte turns that byte into a pair. To VELMOR no
// byte is lost; each run adds its two shift sequences and at most one byte, and every
// run but the last on a line is followed by a single byte, so a line of n bytes has at
// most n / 3 + 1 runs.
void checkLengthBounds(const Document& doc, const ScanState& start) {
    std::size_t lines = 0, bytes = 0, runsBound = 0;
    velmor::LineWalker walker(doc.WholeText());
    std::string_view line;
    while (walker.next(line)) {
        ++lines;
        bytes += line.size();
        runsBound += line.size() / 3 + 1;
    }
    ScanState scan = start;
    std::int32_t done = 0;
    std::string out;
    velmor::convertVelmorToSjis(doc.WholeText(), scan, done, out);
    FUZZ_CHECK(out.size() <= bytes + 3 * lines, hexDump(doc.WholeText()));
    FUZZ_CHECK(out.size() >= 2 * lines, hexDump(doc.WholeText()));
    out.clear();
    velmor::convertSjisToVelmor(doc.WholeText(), scan, done, out);
    FUZZ_CHECK(out.size() >= bytes + 2 * lines, hexDump(doc.WholeText()));
    FUZZ_CHECK(out.size() <= bytes + 2 * lines + 5 * runsBound, hexDump(doc.WholeText()));
}

// Shift-JIS text made only of ASCII, half-width katakana and characters of the six
// double-byte ranges, and the text the round trip must give back (a user-defined
// character comes back as the ideographic space).
struct RoundTripText {
    std::string sjis;
    std::string expected;
    bool anyDoubleByte = false;
};

RoundTripText buildRoundTripText(InputReader& in, bool asLoaded) {
    static constexpr std::array<std::array<std::uint8_t, 4>, 6> kRanges = {{
        {0x81, 0x40, 0x84, 0xBE},
        {0x88, 0x9F, 0x98, 0x72},
        {0x98, 0x9F, 0x9F, 0xFC},
        {0xE0, 0x40, 0xEA, 0xA4},
        {0xF0, 0x40, 0xFC, 0xFC},
        {0x87, 0x40, 0x87, 0x9C},
    }};
    RoundTripText t;
    std::string sjisLine, expectedLine;
    const std::string lineEnd = asLoaded ? " \r\n" : "\r\n";
    auto endLine = [&] {
        t.sjis += sjisLine + lineEnd;
        t.expected += expectedLine + lineEnd;
        sjisLine.clear();
        expectedLine.clear();
    };
    for (int count = 0; count < 2000 && !in.empty(); ++count) {
        const std::uint8_t kind = in.byte() % 8;
        const std::uint8_t a = in.byte();
        if (kind <= 2) {
            const char c = static_cast<char>(0x20 + a % 95);
            sjisLine += c;
            expectedLine += c;
        } else if (kind == 3) {
            const char c = static_cast<char>(0xA1 + a % 63);
            sjisLine += c;
            expectedLine += c;
        } else if (kind == 4) {
            endLine();
        } else {
            const auto& r = kRanges[a % 6];
            const std::uint8_t b = in.byte();
            const std::uint8_t c = in.byte();
            std::uint8_t lead = static_cast<std::uint8_t>(r[0] + b % (r[2] - r[0] + 1));
            // Trail bytes of Shift-JIS: 0x40 to 0x7E and 0x80 to 0xFC.
            std::uint8_t trail = static_cast<std::uint8_t>(0x40 + c % 188);
            if (trail >= 0x7F) ++trail;
            const bool belowLower = lead == r[0] && trail < r[1];
            const bool aboveUpper = lead == r[2] && trail > r[3];
            if (belowLower || aboveUpper) trail = r[1], lead = r[0];
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            sjisLine += pair;
            t.anyDoubleByte = true;
            expectedLine += r[0] == 0xF0 ? std::string("\x81\x40") : pair;
        }
    }
    if (!sjisLine.empty()) endLine();
    return t;
}

// Lines as loaded end with the space that loading appends. Only those go through the
// commands: the Document reads its text with CP932 line breaks, and a VELMOR line that
// ends in a run without that space can end in a lead byte that takes the kanji-out's
// 0x93 as its trail, so that the kanji-out's 0xF1, a lead byte too, takes the CR.
void checkRoundTrip(InputReader& in, const ScanState& start, bool asLoaded) {
    const RoundTripText t = buildRoundTripText(in, asLoaded);
    Document doc;
    doc.ReplaceText(t.sjis);
    ScanState scan = start;
    std::int32_t toVelmorDone = 0, toSjisDone = 0;
    std::string velmorText, back;
    velmor::convertSjisToVelmor(doc.WholeText(), scan, toVelmorDone, velmorText);
    const bool anyDoubleByte = t.anyDoubleByte;
    FUZZ_CHECK(toVelmorDone == (anyDoubleByte ? 1 : 0), hexDump(t.sjis));
    FUZZ_CHECK(velmor::containsKanjiIn(velmorText) == anyDoubleByte, hexDump(velmorText));
    velmor::convertVelmorToSjis(velmorText, scan, toSjisDone, back);
    FUZZ_CHECK(toSjisDone == toVelmorDone, hexDump(velmorText));
    FUZZ_CHECK(back == t.expected, "sjis: " + hexDump(t.sjis) + "\nvelmor: " + hexDump(velmorText) +
                                       "\nback: " + hexDump(back) +
                                       "\nexpected: " + hexDump(t.expected));

    if (!asLoaded) return;
    // The same trip through the commands, which must also mark the Document modified.
    Workspace ws;
    velmor::testing::ScriptedDialogs dialogs;
    dialogs.answerAllWith(velmor::mrYes);
    ws.document.ReplaceText(t.sjis);
    ws.scan = start;
    velmor::sjis_velmorClick(ws, dialogs);
    velmor::velmor_sjisClick(ws, dialogs);
    FUZZ_CHECK(ws.document.WholeText() == t.expected, hexDump(ws.document.WholeText()));
    FUZZ_CHECK(ws.document.ModifiedMark() == anyDoubleByte, "mark after the round trip");
}

// A command run against what the reference converter says it must do.
void checkCommand(Workspace& ws, velmor::testing::ScriptedDialogs& dialogs, bool toSjis,
                  int answer) {
    const Workspace before = ws;
    const std::size_t asked = dialogs.questions.size();
    std::int32_t done = 0;
    std::string out;
    ScanState scan = ws.scan;
    const bool refused = ws.document.WholeText().empty() ||
                         (toSjis ? ws.state.ToSjisDone : ws.state.ToVelmorDone) == 1;
    const bool declined = !refused && !toSjis && velmor::containsKanjiIn(ws.document.WholeText()) &&
                          answer != velmor::mrYes;
    if (toSjis) {
        velmor::convertVelmorToSjisReference(ws.document.WholeText(), scan, done, out);
        velmor::velmor_sjisClick(ws, dialogs);
    } else {
        velmor::convertSjisToVelmorReference(ws.document.WholeText(), scan, done, out);
        velmor::sjis_velmorClick(ws, dialogs);
    }
    for (std::int32_t flag : {ws.state.ToSjisDone, ws.state.ToVelmorDone}) {
        FUZZ_CHECK(flag == 0 || flag == 1, "flag " + std::to_string(flag));
    }
    FUZZ_CHECK(velmor::lineBreaksAreNormal(ws.document.WholeText()),
               hexDump(ws.document.WholeText()));
    if (refused || declined) {
        FUZZ_CHECK(ws.document.WholeText() == before.document.WholeText(), "refused but changed");
        FUZZ_CHECK(ws.document.ModifiedMark() == before.document.ModifiedMark(), "refused, mark");
        FUZZ_CHECK(ws.state.ToSjisDone == before.state.ToSjisDone &&
                       ws.state.ToVelmorDone == before.state.ToVelmorDone,
                   "refused, flags");
        FUZZ_CHECK(dialogs.questions.size() == asked + 1, "a refusal or question is shown once");
        return;
    }
    const std::string expected = velmor::NormalizeLineBreaks(out);
    FUZZ_CHECK(ws.document.WholeText() == expected, hexDump(ws.document.WholeText()));
    FUZZ_CHECK(ws.scan.kanjiPair == scan.kanjiPair, describe(ws.scan));
    const bool changed = expected != before.document.WholeText();
    const bool mark = done == 1 ? true : (changed ? false : before.document.ModifiedMark());
    FUZZ_CHECK(ws.document.ModifiedMark() == mark, "mark after a conversion");
    std::int32_t ownFlag = toSjis ? ws.state.ToSjisDone : ws.state.ToVelmorDone;
    std::int32_t otherFlag = toSjis ? ws.state.ToVelmorDone : ws.state.ToSjisDone;
    std::int32_t otherBefore = toSjis ? before.state.ToVelmorDone : before.state.ToSjisDone;
    FUZZ_CHECK(ownFlag == done, "own flag");
    FUZZ_CHECK(otherFlag == (done == 1 ? 0 : otherBefore), "other flag");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    const std::uint8_t control = in.byte();
    ScanState start;
    start.kanjiPair = {in.byte(), in.byte()};

    if (control & 0x80) {
        checkRoundTrip(in, start, (control & 0x40) != 0);
        return 0;
    }
    // The fast converters cut the text into 1 to 16 parts of at least 1 to 64 bytes,
    // converted at once, so every kind of line lands at a part's edge; with bit 2 of
    // `cut`, each part in slices that count every byte once.
    static constexpr std::size_t kParts[] = {1, 2, 3, 7, 16};
    const std::uint8_t cut = in.byte();
    const velmor::PartCut parts{kParts[cut % 5], 1 + std::size_t{cut} / 4};
    velmor::Progress told;
    Workspace ws;
    // The commands convert the Document in place, its text in pieces of the same 1 to
    // 64 bytes (each ends at the first line end past that size).
    ws.document.setPieceBytes(parts.minPartBytes);
    ws.document.ReplaceText(std::string(in.rest()));
    // With bit 3 of `cut`, a gaiji table that maps a user-defined character, a code
    // in no range and a pair the arithmetic maps otherwise.
    static const velmor::GaijiTable kGaiji =
        velmor::parseGaijiTable("7F21 F040\n4142 ED40\nB0A1 8140\n", "gaiji.tsv");
    static const velmor::GaijiPairTables kGaijiTables(kGaiji);
    const velmor::GaijiTable* gaiji = (cut & 8) ? &kGaiji : nullptr;
    ScanState withTable = start;
    if (gaiji) withTable.tables = kGaijiTables.tables();
    checkFastEqualsReference(ws.document, withTable, parts, (cut & 4) ? &told : nullptr, gaiji);
    FUZZ_CHECK(!(cut & 4) || told.done() == 2 * ws.document.WholeText().size(),
               "slices told " + std::to_string(told.done()) + " bytes");
    checkLengthBounds(ws.document, start);

    // Up to four commands, chosen by the control bits, from random flags and mark.
    velmor::testing::ScriptedDialogs dialogs;
    const int answer = (control & 0x40) ? velmor::mrYes : velmor::mrCancel;
    dialogs.answerAllWith(answer);
    ws.scan = start;
    ws.state.ToSjisDone = (control >> 5) & 1;
    ws.state.ToVelmorDone = (control >> 4) & 1;
    ws.document.SetModifiedMark(control & 8);
    for (int step = 0; step < 4; ++step) {
        checkCommand(ws, dialogs, ((control >> step) & 1) != 0, answer);
    }
    return 0;
}
