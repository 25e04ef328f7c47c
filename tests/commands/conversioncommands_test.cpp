#include "commands/conversioncommands.h"

#include <gtest/gtest.h>

#include "commands/longstep.h"
#include "commands/usergaiji.h"
#include "convert/direction.h"
#include "document/errors.h"
#include "support/bytes.h"
#include "support/scripteddialogs.h"

namespace velmor {
namespace {

using testing::bytes;
using testing::ScriptedDialogs;

// A workspace as Open leaves it: lines loaded, mark false, both flags 0.
Workspace opened(std::initializer_list<std::string> lines) {
    Workspace ws;
    for (const auto& line : lines) ws.document.AppendLine(line);
    ws.document.SetModifiedMark(false);
    return ws;
}

const std::string kVelmorLine = bytes({0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, 'A', ' '});
const std::string kSjisLine = bytes({0x88, 0x9F, 'A', ' '});

TEST(ConversionCommands, EmptyDocumentIsToldToOpenAFile) {
    for (auto command : {velmor_sjisClick, sjis_velmorClick}) {
        Workspace ws;
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        command(ws, dialogs);
        ASSERT_EQ(dialogs.questions.size(), 1u);
        EXPECT_EQ(dialogs.questions[0].text, "ファイルを開いて下さい。");
        EXPECT_EQ(dialogs.questions[0].kind, MsgKind::Information);
        EXPECT_EQ(dialogs.questions[0].buttons, MsgButtons{mbOK});
        EXPECT_EQ(ws.document.WholeText(), "");
        EXPECT_FALSE(ws.document.ModifiedMark());
    }
}

TEST(ConversionCommands, VelmorToSjisSetsFlagsAndMarkThenRefusesTwice) {
    Workspace ws = opened({kVelmorLine});
    ws.state.ToVelmorDone = 1;
    ScriptedDialogs dialogs;
    velmor_sjisClick(ws, dialogs);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(ws.document.WholeText(), bytes({0x88, 0x9F, 'A', ' ', '\r', '\n'}));
    EXPECT_TRUE(ws.document.ModifiedMark());
    EXPECT_EQ(ws.state.ToSjisDone, 1);
    EXPECT_EQ(ws.state.ToVelmorDone, 0);

    const std::string before = ws.document.WholeText();
    dialogs.answer(mrOk);
    velmor_sjisClick(ws, dialogs);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].text,
              "二重変換禁止です。\r\n一旦、閉じてから開き直して下さい。");
    EXPECT_EQ(dialogs.questions[0].kind, MsgKind::Information);
    EXPECT_EQ(ws.document.WholeText(), before);

    // The way back is open.
    sjis_velmorClick(ws, dialogs);
    EXPECT_EQ(ws.document.WholeText(), kVelmorLine + "\r\n");
    EXPECT_EQ(ws.state.ToVelmorDone, 1);
    EXPECT_EQ(ws.state.ToSjisDone, 0);
}

TEST(ConversionCommands, NothingToConvertChangesNoFlagOrMark) {
    // No kanji-in: the text loses its kanji-out but the mark follows ReplaceText only.
    Workspace ws = opened({bytes({'a', 0x93, 0xF1, ' '})});
    ws.document.SetModifiedMark(true);
    ws.state.ToVelmorDone = 1;
    ScriptedDialogs dialogs;
    velmor_sjisClick(ws, dialogs);
    EXPECT_EQ(ws.document.WholeText(), "a \r\n");
    EXPECT_FALSE(ws.document.ModifiedMark());  // text changed: ReplaceText cleared it
    EXPECT_EQ(ws.state.ToSjisDone, 0);
    EXPECT_EQ(ws.state.ToVelmorDone, 1);

    // Unchanged text keeps a true mark; the command may run again.
    Workspace plain = opened({"abc "});
    plain.document.SetModifiedMark(true);
    sjis_velmorClick(plain, dialogs);
    sjis_velmorClick(plain, dialogs);
    EXPECT_TRUE(plain.document.ModifiedMark());
    EXPECT_EQ(plain.state.ToVelmorDone, 0);
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST(ConversionCommands, PreScanAsksBeforeConvertingVelmorLookingText) {
    const std::string text = bytes({0x93, 0x70, ' '});
    for (int answer : {mrCancel, mrNo, mrOk}) {
        Workspace ws = opened({text});
        ScriptedDialogs dialogs;
        dialogs.answer(answer);
        sjis_velmorClick(ws, dialogs);
        ASSERT_EQ(dialogs.questions.size(), 1u);
        EXPECT_EQ(dialogs.questions[0].text,
                  "ファイルは既にＶＥＬＭＯＲ漢字を含んでいます。\r\n（変換方向が逆のようです）\r\n"
                  "変換を強行しますか？");
        EXPECT_EQ(dialogs.questions[0].kind, MsgKind::Confirmation);
        EXPECT_EQ(dialogs.questions[0].buttons, MsgButtons{mbYes | mbCancel});
        EXPECT_EQ(ws.document.WholeText(), text + "\r\n");
        EXPECT_EQ(ws.scan.HasVelmorCodes, 1);
        EXPECT_FALSE(ws.document.ModifiedMark());
    }
    Workspace ws = opened({text});
    ScriptedDialogs dialogs;
    dialogs.answer(mrYes);
    sjis_velmorClick(ws, dialogs);
    EXPECT_EQ(ws.document.WholeText(),
              bytes({0x93, 0x70, 0xC5, 0xD1, 0x93, 0xF1, ' ', '\r', '\n'}));
    EXPECT_TRUE(ws.document.ModifiedMark());
    EXPECT_EQ(ws.state.ToVelmorDone, 1);

    // Kanji-out alone does not make the text look like VELMOR.
    Workspace outOnly = opened({bytes({0x93, 0xF1, ' '})});
    sjis_velmorClick(outOnly, dialogs);
    EXPECT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(outOnly.scan.HasVelmorCodes, 0);
}

TEST(ConversionCommands, KanjiPairCarriesFromOneCommandIntoTheNext) {
    Workspace ws = opened({kSjisLine});
    ScriptedDialogs dialogs;
    sjis_velmorClick(ws, dialogs);
    EXPECT_EQ(ws.scan.kanjiPair, (KanjiPair{0xB0, 0xA1}));
    // A run ending after a first byte takes the second byte the pair holds.
    ws.document.ClearText();
    ws.document.AppendLine(bytes({0x93, 0x70, 0xB1}));
    ws.document.SetModifiedMark(false);
    ws.state = {};
    velmor_sjisClick(ws, dialogs);
    KanjiPair expected{0x31, 0x21};
    sjishenkan(expected);
    EXPECT_EQ(ws.document.WholeText(), bytes({expected.first, expected.second, '\r', '\n'}));
}

TEST(ConversionCommands, RefusedReplacementLeavesMarkAndOtherFlag) {
    Workspace ws = opened({kVelmorLine});
    ws.state.ToVelmorDone = 1;
    ws.document.setStorageLimit(4);
    ScriptedDialogs dialogs;
    EXPECT_THROW(velmor_sjisClick(ws, dialogs), EInvalidOperation);
    EXPECT_EQ(ws.document.WholeText(), kVelmorLine + "\r\n");
    EXPECT_FALSE(ws.document.ModifiedMark());
    EXPECT_EQ(ws.state.ToSjisDone, 1);  // as the scan left it
    EXPECT_EQ(ws.state.ToVelmorDone, 1);

    Workspace back = opened({kSjisLine});
    back.state.ToSjisDone = 1;
    back.document.setStorageLimit(4);
    EXPECT_THROW(sjis_velmorClick(back, dialogs), EInvalidOperation);
    EXPECT_EQ(back.state.ToVelmorDone, 1);
    EXPECT_EQ(back.state.ToSjisDone, 1);
    EXPECT_FALSE(back.document.ModifiedMark());
}

// A conversion run as a long step, cut into as many parts as its progress needs,
// counts every byte of the text once and gives what the plain command gives.
TEST(ConversionCommands, LongStepCountsEveryByteAndConvertsAlike) {
    std::string line = kSjisLine;
    while (line.size() < 40) line += kSjisLine;
    Workspace plain, shown;
    for (Workspace* ws : {&plain, &shown}) {
        for (int i = 0; i < 150000; ++i) ws->document.AppendLine(line);
    }
    ScriptedDialogs dialogs;
    sjis_velmorClick(plain, dialogs);
    std::size_t total = 0, before = 1, after = 0;
    sjisVelmorThrough(shown, dialogs, [&](StepKind, Progress& progress, auto& step) {
        total = progress.total();
        before = progress.done();
        step();
        after = progress.done();
    });
    EXPECT_EQ(total, 150000 * (line.size() + 2));
    EXPECT_EQ(before, 0u);
    EXPECT_EQ(after, total);
    EXPECT_TRUE(shown.document.WholeText() == plain.document.WholeText());
}

// With a gaiji table both directions apply it before the arithmetic and the range
// test, a mapping may override the arithmetic, and both round trips keep its
// characters; nothing is reported. Without it the same text reports what it loses.
TEST(ConversionCommands, GaijiTableAppliesBothWaysAndSilencesTheReport) {
    Workspace ws = opened({bytes({0xF0, 0x40, 'A', 0xED, 0x40, 0xF0, 0x41, 0x88, 0x9F, ' '})});
    useGaijiTable(ws, parseGaijiTable("7F21 F040\n4142 ED40\nB0A1 F041\n", "gaiji.tsv"));
    ScriptedDialogs dialogs;
    sjis_velmorClick(ws, dialogs);
    EXPECT_EQ(testing::hex(ws.document.WholeText()),
              testing::hex(bytes({0x93, 0x70, 0x7F, 0x21, 0x93, 0xF1, 'A',  0x93, 0x70, 0x41,
                                  0x42, 0xB0, 0xA1, 0xB0, 0xA1, 0x93, 0xF1, ' ',  '\r', '\n'})));
    velmor_sjisClick(ws, dialogs);
    // 88 9F became B0 A1 by the arithmetic, which the table maps to F0 41.
    EXPECT_EQ(testing::hex(ws.document.WholeText()),
              testing::hex(
                  bytes({0xF0, 0x40, 'A', 0xED, 0x40, 0xF0, 0x41, 0xF0, 0x41, ' ', '\r', '\n'})));
    EXPECT_TRUE(ws.report.empty());
    EXPECT_EQ(ws.report.conversions(), 2u);

    Workspace plain = opened({bytes({0xF0, 0x40, 0xED, 0x40, ' '})});
    sjis_velmorClick(plain, dialogs);
    ASSERT_EQ(plain.report.entries().size(), 2u);
    EXPECT_EQ(plain.report.entries()[0].kind, ReportKind::Gaiji);
    EXPECT_EQ(plain.report.entries()[1].kind, ReportKind::OutsideRanges);
    EXPECT_EQ(plain.report.entries()[1].column, 3u);
    EXPECT_TRUE(dialogs.questions.empty());
}

// キャンセル during a conversion leaves everything as before it: the text, its mark,
// both flags, the report and the pair the next conversion starts from.
TEST(ConversionCommands, CancelledConversionLeavesEverythingAsItWas) {
    for (Direction direction : {Direction::ToSjis, Direction::ToVelmor}) {
        Workspace ws = opened({kVelmorLine, kSjisLine});
        ws.state.ToVelmorDone = direction == Direction::ToSjis;
        ws.scan.kanjiPair = {0x12, 0x34};
        const std::string before = ws.document.WholeText();
        ScriptedDialogs dialogs;
        dialogs.answerAllWith(mrYes);  // the pre-scan's question
        const StepRunner cancelling = [](StepKind, Progress& progress, auto& step) {
            progress.cancel();
            step();
        };
        EXPECT_THROW((direction == Direction::ToSjis ? velmorSjisThrough : sjisVelmorThrough)(
                         ws, dialogs, cancelling),
                     EAbort);
        EXPECT_EQ(ws.document.WholeText(), before);
        EXPECT_FALSE(ws.document.ModifiedMark());
        EXPECT_EQ(ws.state.ToSjisDone, 0);
        EXPECT_EQ(ws.state.ToVelmorDone, direction == Direction::ToSjis ? 1 : 0);
        EXPECT_EQ(ws.scan.kanjiPair, (KanjiPair{0x12, 0x34}));
        EXPECT_EQ(ws.report.conversions(), 0u);
    }
}

// The marks of a report stay on their bytes through conversions: a lone CR's mark on
// the byte after it, a gaiji's on the two spaces and then on the ideographic space.
TEST(ConversionCommands, ReportMarksFollowTheirBytesThroughConversions) {
    // The file line 亜 A CR B gaiji: the CR was dropped; the mark is on B.
    Workspace ws = opened({bytes({0x88, 0x9F, 'A', 'B', 0xF0, 0x40, ' '})});
    ws.report.add({ReportKind::LoneCr, 1, 4, "\r", 1, 0, 3, 1});
    ScriptedDialogs dialogs;
    sjis_velmorClick(ws, dialogs);
    // 93 70 B0 A1 93 F1 41 42 93 70 20 20 93 F1 20
    const auto marks = [&] {
        std::vector<std::pair<std::size_t, std::size_t>> out;
        for (const ReportEntry& e : ws.report.entries())
            out.emplace_back(e.viewColumn, e.viewLength);
        return out;
    };
    ASSERT_EQ(ws.report.entries().size(), 2u);
    EXPECT_EQ(marks(), (std::vector<std::pair<std::size_t, std::size_t>>{{7, 1}, {10, 2}}));
    velmor_sjisClick(ws, dialogs);
    // 88 9F 41 42 81 40 20
    EXPECT_EQ(marks(), (std::vector<std::pair<std::size_t, std::size_t>>{{3, 1}, {4, 2}}));
    EXPECT_EQ(ws.report.entries()[0].column, 4u);  // the place in the file stays
}

}  // namespace
}  // namespace velmor
