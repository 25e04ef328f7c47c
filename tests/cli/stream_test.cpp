// The streamed converter against the window's in-memory path: Open (memo1set),
// the conversion command, Save As (memo1_get_out), in a fresh Workspace per file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <vector>

#include "commands/conversioncommands.h"
#include "commands/convertfile.h"
#include "commands/filecommands.h"
#include "document/ioerror.h"
#include "document/syscalls.h"
#include "support/bytes.h"
#include "support/faultinjector.h"
#include "support/scripteddialogs.h"
#include "support/statefolder.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::bytes;
using testing::hex;

// What the window writes for `input`, or nothing when it refuses: an empty Document,
// or, towards VELMOR, kanji-in sequences with the question answered Cancel (or Yes
// with `force`).
std::optional<std::string> windowOutput(const testing::TempFolder& folder, const std::string& input,
                                        Direction direction, bool force, ConversionReport& report) {
    testing::writeFile(folder / "window-in", input);
    Workspace ws;
    openFile(ws, folder / "window-in");
    if (ws.document.WholeText().empty()) return std::nullopt;
    testing::ScriptedDialogs dialogs;
    dialogs.answerAllWith(force ? mrYes : mrCancel);
    if (direction == Direction::ToSjis) {
        velmor_sjisClick(ws, dialogs);
    } else {
        sjis_velmorClick(ws, dialogs);
        if (!force && ws.scan.HasVelmorCodes == 1) return std::nullopt;
    }
    saveFileAs(ws, folder / "window-out");
    report = ws.report;
    return testing::readFile(folder / "window-out");
}

// Streams `input` with pieces of about `chunkBytes` and checks it gives the window's
// bytes, or the window's refusal with the output file untouched.
void expectSameAsWindow(const testing::TempFolder& folder, const std::string& input,
                        Direction direction, bool force, std::size_t chunkBytes) {
    ConversionReport windowReport;
    std::optional<std::string> expected =
        windowOutput(folder, input, direction, force, windowReport);
    testing::writeFile(folder / "stream-in", input);
    testing::writeFile(folder / "stream-out", "old");
    ConvertSettings settings;
    settings.direction = direction;
    settings.policy.force = force;
    settings.chunkBytes = chunkBytes;
    settings.report = true;
    FileResult result = convertFile({folder / "stream-in", folder / "stream-out"}, settings);
    std::string output = testing::readFile(folder / "stream-out");
    if (!expected) {
        EXPECT_EQ(result.outcome, FileOutcome::Refused) << hex(input);
        EXPECT_EQ(output, "old");
        return;
    }
    ASSERT_EQ(result.outcome, FileOutcome::Converted) << result.message << " " << hex(input);
    EXPECT_EQ(hex(output), hex(*expected)) << "input " << hex(input) << " chunk " << chunkBytes;
    EXPECT_EQ(result.bytesWritten, output.size());
    // The report names the same places, whatever the pieces (in another order: the
    // window finds the load's entries first).
    auto places = [](const ConversionReport& report) {
        std::vector<std::string> lines;
        for (const ReportEntry& e : report.entries()) {
            lines.push_back(std::string(reportKindName(e.kind)) + " " + std::to_string(e.line) +
                            ":" + std::to_string(e.column) + " " + hex(e.bytes) +
                            std::to_string(e.length) + "\n");
        }
        std::sort(lines.begin(), lines.end());
        std::string text;
        for (const std::string& line : lines) text += line;
        return text;
    };
    EXPECT_EQ(places(result.report), places(windowReport))
        << "input " << hex(input) << " chunk " << chunkBytes;
}

// Every save syncs its file; these tests check bytes, not durability, and skip it.
class StreamedConversion : public ::testing::Test {
  protected:
    static sys::Calls withoutSync() {
        sys::Calls calls = sys::systemCalls();
        calls.fsync = [](int) { return 0; };
        return calls;
    }
    const sys::Calls calls_ = withoutSync();
    sys::ScopedCalls scoped_{calls_};
};

TEST_F(StreamedConversion, MatchesTheWindowWithTinyPiecesOnRandomFiles) {
    auto rng = testing::seededRandom("StreamedConversion.TinyPieces");
    testing::TempFolder folder;
    for (int round = 0; round < 300; ++round) {
        std::string input = round % 5 == 0 ? testing::randomBytes(rng, rng() % 200)
                                           : testing::realisticText(rng, rng() % 400, true);
        std::size_t chunk = 1 + rng() % 64;
        expectSameAsWindow(folder, input, Direction::ToSjis, false, chunk);
        expectSameAsWindow(folder, input, Direction::ToVelmor, round % 2 == 0, chunk);
        if (::testing::Test::HasFailure()) FAIL() << "round " << round;
    }
}

// A kanji-in found late refuses a file whose output was already partly written in
// place (the target has a second name): the old content goes back, and when it
// cannot, the result says where it is kept instead of a refusal that left all alone.
TEST_F(StreamedConversion, ALateRefusalThatCannotPutTheTargetBackNamesTheKeptCopy) {
    testing::TempFolder folder;
    const testing::ScopedStateFolder state;
    const std::string old(100000, 'o');
    testing::writeFile(folder / "out", old);
    std::filesystem::create_hard_link(folder / "out", folder / "out-link");
    std::string input;  // more than the writer's first chunk of 1 MiB, then a kanji-in
    for (int i = 0; i < 150000; ++i) input += "line " + std::to_string(i) + "\r\n";
    testing::writeFile(folder / "in", input + bytes({0x93, 0x70}) + "\r\n");
    testing::FaultInjector faults;
    faults.failNth(sys::Call::Ftruncate, 1, EIO);  // putting the old content back
    ConvertSettings settings;
    settings.direction = Direction::ToVelmor;
    settings.chunkBytes = 1024;
    const FileResult result = convertFile({folder / "in", folder / "out"}, settings);
    EXPECT_EQ(result.outcome, FileOutcome::Failed);
    EXPECT_EQ(result.path, folder / "out");
    const auto kept = state.keptCopies();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(result.message, keptCopyMessage(ioErrorCode(EIO), kept[0]));
    EXPECT_TRUE(testing::readFile(kept[0]) == old);
}

TEST_F(StreamedConversion, MatchesTheWindowOnFixedCases) {
    testing::TempFolder folder;
    const std::vector<std::string> inputs = {"",
                                             bytes({0x1A}),
                                             bytes({0x1A, 'a', '\n'}),
                                             "\r",
                                             "\n",
                                             "a\r",
                                             "a\r\n\x1A"
                                             "b\n",
                                             "a\x1A"
                                             "b",
                                             bytes({0x93, 0x70, 0xB0}),
                                             bytes({0x93, 0x70, 0xB0, '\n', 0x93, 0x70, 0xB0}),
                                             bytes({0x88, '\r', '\n', 0x88, 0x9F, 0x81}),
                                             std::string(300, 'x') + "\n" + "y"};
    for (const auto& input : inputs) {
        for (std::size_t chunk : {1u, 2u, 3u, 7u, 64u}) {
            expectSameAsWindow(folder, input, Direction::ToSjis, false, chunk);
            expectSameAsWindow(folder, input, Direction::ToVelmor, false, chunk);
            expectSameAsWindow(folder, input, Direction::ToVelmor, true, chunk);
        }
    }
}

// Pieces of a megabyte and more: on machines with cores to spare beside reading and
// writing they are converted in parts at once, as the window's conversion is.
TEST_F(StreamedConversion, MatchesTheWindowOverTheMultiPartThreshold) {
    auto rng = testing::seededRandom("StreamedConversion.MultiPart");
    testing::TempFolder folder;
    std::string sjis = testing::realisticText(rng, 3 << 20, true);
    for (char& c : sjis) {
        if (c == 0x1A) c = 'z';
    }
    for (std::size_t chunk : {std::size_t{1} << 20, std::size_t{8} << 20}) {
        expectSameAsWindow(folder, sjis, Direction::ToVelmor, true, chunk);
        expectSameAsWindow(folder, sjis, Direction::ToSjis, false, chunk);
    }
}

}  // namespace
}  // namespace velmor
