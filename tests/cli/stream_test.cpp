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
#include "convert/kanjicode.h"
#include "convert/utf8step.h"
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

// `input` with every lone CR made an LF: keep-line-ends takes a lone CR as the end of
// a line, where the window drops it.
std::string loneCrsEndLines(std::string input) {
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\r' && (i + 1 == input.size() || input[i + 1] != '\n')) input[i] = '\n';
    }
    return input;
}

// The text the window saves for loneCrsEndLines(input), with the line ends of `input`
// (LF, CR LF, a lone CR) in place of its CR LFs and no final line end, as
// keep-line-ends writes it; nothing when a converted pair became a CR LF, so that the
// lines do not match up.
std::optional<std::string> withLineEndsOf(const std::string& input, const std::string& saved) {
    std::vector<std::string> ends;
    for (std::size_t at = 0, end; at < input.size(); at = end) {
        if (input[at] == 0x1A) break;
        end = input.find_first_of("\r\n", at);
        if (end == std::string::npos) {
            ends.push_back("");
            break;
        }
        const bool crLf = input.compare(end, 2, "\r\n") == 0;
        ends.push_back(crLf ? "\r\n" : input.substr(end, 1));
        end += crLf ? 2 : 1;
    }
    std::string kept;
    std::size_t line = 0, at = 0;
    for (std::size_t end; (end = saved.find("\r\n", at)) + 2 < saved.size(); at = end + 2) {
        if (line == ends.size()) return std::nullopt;
        kept += saved.substr(at, end - at) + ends[line++];
    }
    if (line != ends.size()) return std::nullopt;
    return kept;
}

// --to-utf8, --from-utf8 and keep-line-ends, alone and together, in pieces of every
// size: the UTF-8 step applied to the window's whole output, the window's conversion
// of the whole input after the step, the window's lines with the input's line ends.
TEST_F(StreamedConversion, Utf8AndKeptLineEndsMatchTheWholeText) {
    auto rng = testing::seededRandom("StreamedConversion.Utf8");
    testing::TempFolder folder;
    Utf8Step toUtf8(Utf8Step::Way::ToUtf8), toCp932(Utf8Step::Way::ToCp932);
    const auto streamed = [&](const std::string& input, ConvertSettings settings) {
        testing::writeFile(folder / "stream-in", input);
        settings.chunkBytes = 1 + rng() % 64;
        settings.report = true;
        settings.policy.force = true;
        std::filesystem::remove(folder / "stream-out");
        FileResult result = convertFile({folder / "stream-in", folder / "stream-out"}, settings);
        if (result.outcome != FileOutcome::Converted) return std::optional<std::string>();
        return std::optional(testing::readFile(folder / "stream-out"));
    };
    const auto utf8Of = [&](const std::optional<std::string>& sjis) -> std::optional<std::string> {
        if (!sjis) return std::nullopt;
        std::string utf8;
        toUtf8.convert(*sjis, utf8);
        return utf8;
    };
    for (int round = 0; round < 200; ++round) {
        const std::string input = testing::realisticText(rng, rng() % 400, true);
        ConversionReport report;
        ConvertSettings settings;
        settings.utf8 = true;
        const auto sjis = windowOutput(folder, input, Direction::ToSjis, false, report);
        EXPECT_EQ(streamed(input, settings), utf8Of(sjis)) << hex(input);

        // Loading drops the lone CRs before the step sees the text (a last one still
        // makes a line).
        std::string loaded, stepped;
        for (std::size_t i = 0; i < input.size(); ++i) {
            if (input[i] != '\r' || i + 1 == input.size() || input[i + 1] == '\n') {
                loaded += input[i];
            }
        }
        toCp932.convert(loaded, stepped);
        settings.direction = Direction::ToVelmor;
        EXPECT_EQ(streamed(input, settings),
                  windowOutput(folder, stepped, Direction::ToVelmor, true, report))
            << hex(input);

        settings.keepLineEnds = true;
        const std::string lines = loneCrsEndLines(input);
        for (bool utf8 : {false, true}) {
            settings.utf8 = utf8;
            for (Direction direction : {Direction::ToSjis, Direction::ToVelmor}) {
                settings.direction = direction;
                std::string from = lines;
                if (utf8 && direction == Direction::ToVelmor) {
                    from.clear();
                    toCp932.convert(lines, from);
                }
                const auto saved = windowOutput(folder, from, direction, true, report);
                auto kept = saved ? withLineEndsOf(input, *saved) : std::nullopt;
                if (saved && !kept) continue;
                if (utf8 && direction == Direction::ToSjis) kept = utf8Of(kept);
                EXPECT_EQ(streamed(input, settings), kept) << utf8 << " " << hex(input);
            }
        }
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

// A text the conversions carry over whole: ASCII, half-width katakana and
// double-byte characters of the converted ranges, with every kind of line end (LF,
// CR LF, a lone CR, none at the end).
std::string losslessText(std::mt19937_64& rng, std::size_t lines) {
    std::string text;
    for (std::size_t n = 0; n < lines; ++n) {
        for (std::size_t k = rng() % 12; k > 0; --k) {
            switch (rng() % 3) {
                case 0: {
                    char c = static_cast<char>(0x20 + rng() % 0x5F);
                    text += c;
                    break;
                }
                case 1:
                    text += static_cast<char>(0xA1 + rng() % 0x3F);
                    break;
                default:
                    for (;;) {
                        const auto lead = static_cast<char>(rng() % 2 ? 0x81 + rng() % 0x1F
                                                                      : 0xE0 + rng() % 0x0B);
                        const auto trail = static_cast<char>(0x40 + rng() % 0xBD);
                        const std::string pair{lead, trail};
                        const int range = rangeOf(pair);
                        if (trail == 0x7F || range == 0 || range == kUserDefinedRange) continue;
                        text += pair;
                        break;
                    }
            }
        }
        static const char* const kEnds[] = {"\n", "\r\n", "\r"};
        if (n + 1 < lines || rng() % 2) text += kEnds[rng() % 3];
    }
    return text;
}

// With the line ends kept, a text without losses survives any number of round trips
// byte for byte, whatever the pieces; nothing is reported on the way.
TEST_F(StreamedConversion, KeptLineEndsSurviveRoundTripsByteForByte) {
    auto rng = testing::seededRandom("StreamedConversion.KeptLineEnds");
    testing::TempFolder folder;
    for (int round = 0; round < 200; ++round) {
        const std::string sjis = losslessText(rng, rng() % 30);
        ConvertSettings settings;
        settings.keepLineEnds = true;
        settings.report = true;
        settings.policy.force = true;
        settings.policy.emptyConverts = true;
        settings.chunkBytes = 1 + rng() % 64;
        auto convert = [&](Direction direction, const std::string& input) {
            testing::writeFile(folder / "in", input);
            settings.direction = direction;
            const FileResult result = convertFile({folder / "in", folder / "out"}, settings);
            EXPECT_EQ(result.outcome, FileOutcome::Converted) << result.message;
            EXPECT_TRUE(result.report.empty()) << hex(input);
            return testing::readFile(folder / "out");
        };
        const std::string velmor = convert(Direction::ToVelmor, sjis);
        std::string back = sjis;
        for (int trip = 0; trip < 2; ++trip) {
            back = convert(Direction::ToSjis, convert(Direction::ToVelmor, back));
            ASSERT_EQ(hex(back), hex(sjis)) << "round " << round << " trip " << trip;
        }
        ASSERT_EQ(hex(convert(Direction::ToVelmor, back)), hex(velmor)) << "round " << round;
    }
}

}  // namespace
}  // namespace velmor
