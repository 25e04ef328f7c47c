#include "convert/converters.h"
#include "convert/documentconversion.h"
#include "convert/gaijitable.h"
#include "convert/reportlocator.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <vector>

#include "document/document.h"
#include "document/linebreaks.h"
#include "reference/reference.h"
#include "support/bytes.h"
#include "support/otherprocess.h"

namespace velmor {
namespace {

using testing::bytes;
using testing::hex;
const std::string kCrLf = "\r\n";

struct Converted {
    std::string out;
    std::int32_t done = 0;
    ScanState scan;
};

// Runs the fast and the reference converter on the same text from the same scan
// state, checks that they agree on everything, and returns the result.
template <bool ToSjis>
Converted convertBoth(const std::string& text, ScanState start = {}) {
    Document doc;
    doc.ReplaceText(text);
    Converted fast{"", 0, start}, ref{"", 0, start};
    if constexpr (ToSjis) {
        convertVelmorToSjis(doc.WholeText(), fast.scan, fast.done, fast.out);
        convertVelmorToSjisReference(doc.WholeText(), ref.scan, ref.done, ref.out);
    } else {
        convertSjisToVelmor(doc.WholeText(), fast.scan, fast.done, fast.out);
        convertSjisToVelmorReference(doc.WholeText(), ref.scan, ref.done, ref.out);
    }
    EXPECT_EQ(hex(fast.out), hex(ref.out)) << "input " << hex(doc.WholeText());
    EXPECT_EQ(fast.done, ref.done) << hex(doc.WholeText());
    EXPECT_EQ(fast.scan.kanjiPair, ref.scan.kanjiPair) << hex(doc.WholeText());
    EXPECT_EQ(fast.scan.KanjiMode, ref.scan.KanjiMode) << hex(doc.WholeText());
    return fast;
}

Converted toSjis(const std::string& text, ScanState start = {}) {
    return convertBoth<true>(text, start);
}
Converted toVelmor(const std::string& text, ScanState start = {}) {
    return convertBoth<false>(text, start);
}

std::string line(std::initializer_list<int> values) {
    return bytes(values) + kCrLf;
}

// ---- VELMOR to Shift-JIS ----

TEST(VelmorToSjis, ConvertsRunsAndDropsShiftSequences) {
    Converted c = toSjis(line({0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, 0x41}));
    EXPECT_EQ(c.out, line({0x88, 0x9F, 0x41}));
    EXPECT_EQ(c.done, 1);
    for (int second : {0xF0, 0x74, 0x4C}) {
        EXPECT_EQ(toSjis(line({0x93, second, 0xB0, 0xA1, 0x93, 0xF1, 0x41})).out,
                  line({0x88, 0x9F, 0x41}));
    }
}

TEST(VelmorToSjis, SpacePairsAreTheIdeographicSpace) {
    EXPECT_EQ(toSjis(line({0x93, 0x70, 0x20, 0x20, 0x93, 0xF1})).out, line({0x81, 0x40}));
    EXPECT_EQ(toSjis(line({0x93, 0x70, 0x20, 0xB0, 0x93, 0xF1})).out, line({0x81, 0x40}));
    // The appended space as the first byte of a pair at the end of an open run.
    EXPECT_EQ(toSjis(line({0x93, 0x70, 0xB0, 0xA1, 0x20})).out, line({0x88, 0x9F, 0x81, 0x40}));
}

TEST(VelmorToSjis, TextWithoutKanjiInLosesOnlyKanjiOut) {
    Converted c =
        toSjis(line({'a', 0x93, 0xF1, 'b', 0x93, 'c'}) + line({0x93, 0xF1}) + bytes({'d', 0x93}));
    EXPECT_EQ(c.out, line({'a', 'b', 0x93, 'c'}) + kCrLf + line({'d', 0x93}));
    EXPECT_EQ(c.done, 0);
}

TEST(VelmorToSjis, SequencesAreFoundAcrossCharacterBoundariesOutsideARun) {
    // 0x82 0x93 is one Shift-JIS character, yet 0x93 0x70 opens a run.
    EXPECT_EQ(toSjis(line({0x82, 0x93, 0x70, 0xB0, 0xA1})).out, line({0x82, 0x88, 0x9F}));
    // Inside a run only pair starts are examined.
    EXPECT_EQ(toSjis(line({0x93, 0x70, 0xB0, 0x93, 0xF1, 0x41})).out.substr(0, 2),
              toSjis(line({0x93, 0x70, 0xB0, 0x93})).out.substr(0, 2));
}

TEST(VelmorToSjis, RunEndsWithTheLineAndCarriesTheSecondByte) {
    ScanState start;
    start.kanjiPair = {0x88, 0x9F};
    // A run ending after a pair's first byte takes the pair's last second byte.
    Converted c = toSjis(line({0x93, 0x70, 0xB0}) + line({'A'}), start);
    KanjiPair expected{0xB0 - 0x80, 0x9F - 0x80};
    sjishenkan(expected);
    EXPECT_EQ(c.out, line({expected.first, expected.second}) + line({'A'}));
    EXPECT_EQ(c.scan.kanjiPair, expected);
}

TEST(VelmorToSjis, GarbageInsideARunWrapsAndNulIsKept) {
    Converted c = toSjis(line({0x93, 0x70, 'A', 'B', 0x80, 0x80, 0x9F, 0xA1}));
    EXPECT_EQ(c.out, line({0x11, 0xE2, 0x30, 0x7D, 0x00, 0x40}));
}

TEST(VelmorToSjis, TextWithoutFinalBreakGetsOne) {
    EXPECT_EQ(toSjis("ab").out, "ab\r\n");
    EXPECT_EQ(toSjis(bytes({0x93, 0x70, 0xB0, 0xA1})).out, bytes({0x88, 0x9F, '\r', '\n'}));
    EXPECT_EQ(toSjis("").out, "");
}

// ---- Shift-JIS to VELMOR ----

TEST(SjisToVelmor, BracketsRunsOfDoubleByteCharacters) {
    Converted c = toVelmor(line({0x88, 0x9F, 0x41, 0x20}));
    EXPECT_EQ(c.out, line({0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, 0x41, 0x20}));
    EXPECT_EQ(c.done, 1);
    EXPECT_EQ(toVelmor(line({0x88, 0x9F, 0x88, 0x9F, 'a'})).out,
              line({0x93, 0x70, 0xB0, 0xA1, 0xB0, 0xA1, 0x93, 0xF1, 'a'}));
    EXPECT_EQ(toVelmor(line({'a', 0x88, 0x9F})).out,
              line({'a', 0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1}));
}

TEST(SjisToVelmor, SpacesAndUserDefinedCharactersBecomeTwoSpaces) {
    EXPECT_EQ(toVelmor(line({0x81, 0x40})).out, line({0x93, 0x70, 0x20, 0x20, 0x93, 0xF1}));
    for (auto [f, s] : {std::pair{0xF0, 0x40}, {0xFA, 0x40}, {0xFC, 0x4B}, {0xFC, 0xFC}}) {
        EXPECT_EQ(toVelmor(line({f, s})).out, line({0x93, 0x70, 0x20, 0x20, 0x93, 0xF1}));
    }
}

TEST(SjisToVelmor, LeadByteBeforeTheAppendedSpace) {
    Converted c = toVelmor(line({'a', 0x84, 0x20}));
    EXPECT_EQ(c.out, line({'a', 0x93, 0x70, 0xA7, 0x81, 0x93, 0xF1}));
}

TEST(SjisToVelmor, OneBytePieceAtTheLineEnd) {
    // Range 5 needs no second byte.
    // (A lead byte right before a CR LF would take the CR as its second byte when the
    // text is stored, so these lines are the text's last, without a break.)
    EXPECT_EQ(toVelmor(bytes({0xF1})).out, line({0x93, 0x70, 0x20, 0x20, 0x93, 0xF1}));
    // Other ranges take the second byte the pair last held.
    ScanState start;
    start.kanjiPair = {0xB0, 0xA1};
    Converted c = toVelmor(bytes({0x89}), start);
    KanjiPair expected{0x89, 0xA1};
    jishenkan(expected);
    EXPECT_EQ(c.out, line({0x93, 0x70, (expected.first + 0x80) & 0xFF,
                           (expected.second + 0x80) & 0xFF, 0x93, 0xF1}));
    // A byte in no range is copied.
    EXPECT_EQ(toVelmor(bytes({0x81})).out, line({0x81}));
}

TEST(SjisToVelmor, SingleBytesCloseARun) {
    for (int single : {0xA1, 0xDF, 0x80, 0xA0, 0xFD, 0xFF, 0x41}) {
        EXPECT_EQ(toVelmor(line({0x88, 0x9F, single})).out,
                  line({0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, single}));
    }
    // 0x81 0x3F is in no range: 0x81 is copied and 0x3F examined on its own.
    EXPECT_EQ(toVelmor(line({0x81, 0x3F})).out, line({0x81, 0x3F}));
}

TEST(SjisToVelmor, ShiftSequenceBytesAreOrdinaryKanji) {
    EXPECT_EQ(toVelmor(line({0x93, 0x70})).out, line({0x93, 0x70, 0xC5, 0xD1, 0x93, 0xF1}));
}

TEST(PreScan, FindsKanjiInAnywhereButNotKanjiOut) {
    auto has = [](const std::string& text) {
        Document doc;
        doc.ReplaceText(text);
        EXPECT_EQ(containsKanjiIn(doc.WholeText()), containsKanjiInReference(doc.WholeText()))
            << hex(text);
        return containsKanjiIn(doc.WholeText());
    };
    EXPECT_TRUE(has(line({0x82, 0x93, 0x70})));
    EXPECT_TRUE(has(line({'a'}) + line({0x93, 0x4C})));
    EXPECT_FALSE(has(line({0x93, 0xF1})));
    EXPECT_FALSE(has(line({0x93}) + line({0x70})));
    EXPECT_FALSE(has(""));
}

// ---- Both directions ----

TEST(Conversion, LongLinesAndNulConvertWhole) {
    std::string kanji;
    for (int i = 0; i < 3000; ++i) kanji += bytes({0x88, 0x9F});
    std::string input = kanji + bytes({0, 'x', 0x20});  // 6003 bytes in one line
    Converted v = toVelmor(input + kCrLf);
    std::string velmorKanji;
    for (int i = 0; i < 3000; ++i) velmorKanji += bytes({0xB0, 0xA1});
    EXPECT_EQ(v.out, bytes({0x93, 0x70}) + velmorKanji + bytes({0x93, 0xF1, 0, 'x', 0x20}) + kCrLf);
    EXPECT_EQ(toSjis(v.out).out, input + kCrLf);
}

// Characters a round trip must preserve: ASCII, half-width katakana and every
// character of the six ranges.
std::vector<std::string> roundTripAlphabet() {
    std::vector<std::string> chars;
    for (int b = 0x20; b < 0x7F; ++b) chars.push_back(bytes({b}));
    for (int b = 0xA1; b <= 0xDF; ++b) chars.push_back(bytes({b}));
    for (int f = 0; f < 256; ++f) {
        for (int s = 0x40; s <= 0xFC; ++s) {
            if (s == 0x7F) continue;
            std::string c = bytes({f, s});
            if (rangeOf(c) != 0) chars.push_back(c);
        }
    }
    return chars;
}

TEST(Conversion, RoundTripGivesBackEveryLineButUserDefinedCharacters) {
    auto rng = testing::seededRandom("Conversion.RoundTrip");
    const auto alphabet = roundTripAlphabet();
    for (int round = 0; round < 300; ++round) {
        std::string text, expected;
        int lines = 1 + rng() % 5;
        for (int l = 0; l < lines; ++l) {
            std::string sjis, back;
            int length = rng() % 30;
            for (int i = 0; i < length; ++i) {
                const std::string& c = alphabet[rng() % alphabet.size()];
                sjis += c;
                back += (c.size() == 2 && rangeOf(c) == 5) ? bytes({0x81, 0x40}) : c;
            }
            text += sjis + " \r\n";  // each loaded line ends with the appended space
            expected += back + " \r\n";
        }
        std::string velmor = toVelmor(text).out;
        EXPECT_EQ(hex(toSjis(velmor).out), hex(expected)) << hex(text);
    }
}

TEST(Conversion, FastPathsMatchReferenceOnRandomBytes) {
    auto rng = testing::seededRandom("Conversion.FastPathsMatchReference");
    const std::string shifty =
        bytes({0x93, 0x70, 0xF0, 0x74, 0x4C, 0xF1, 0x20, 0xB0, 0xA1, 'a',  '\r', '\n',
               0,    0x81, 0x84, 0x87, 0x98, 0xF0, 0xFC, 0x40, 0x9F, 0xBE, 0x72});
    for (int round = 0; round < 30000; ++round) {
        std::size_t length = rng() % (round % 50 == 0 ? 6000 : 48);
        std::string text = testing::randomBytes(rng, length, round % 3 == 0 ? "" : shifty);
        if (round % 4 == 0) text += " \r\n";
        ScanState start;
        start.kanjiPair = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
        toSjis(text, start);
        toVelmor(text, start);
        if (::testing::Test::HasFailure()) FAIL() << "round " << round;
    }
}

TEST(Conversion, FastPathsMatchReferenceOnRealisticText) {
    auto rng = testing::seededRandom("Conversion.FastPathsMatchReferenceOnRealisticText");
    for (int round = 0; round < 3000; ++round) {
        std::string text = testing::realisticText(rng, rng() % 400);
        ScanState start;
        start.kanjiPair = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
        toSjis(text, start);
        toVelmor(text, start);
        toSjis(toVelmor(text, start).out, start);
        if (::testing::Test::HasFailure()) FAIL() << "round " << round;
    }
}

TEST(Conversion, TextsLongerThanOneChunkMatchReference) {
    auto rng = testing::seededRandom("Conversion.TextsLongerThanOneChunk");
    for (std::size_t length : {65535u, 65536u, 65537u, 300000u}) {
        std::string text = testing::realisticText(rng, length);
        std::string velmor = toVelmor(text).out;
        toSjis(velmor);
        toSjis(text);
    }
}

TEST(PreScan, MatchesReferenceOnRealisticText) {
    auto rng = testing::seededRandom("PreScan.MatchesReference");
    for (int round = 0; round < 3000; ++round) {
        std::string text = testing::realisticText(rng, rng() % 200);
        Document doc;
        doc.ReplaceText(text);
        ASSERT_EQ(containsKanjiIn(doc.WholeText()), containsKanjiInReference(doc.WholeText()))
            << hex(doc.WholeText());
    }
}

}  // namespace
}  // namespace velmor

namespace velmor {
namespace {

// Where no second thread can start, the text is converted on one, with the same result.
TEST(Conversion, WithoutASecondThreadTheTextIsConvertedOnOne) {
    Document doc;
    for (int i = 0; i < 40000; ++i)
        doc.AppendLine(bytes({0x93, 0x70, 0xB0, 0xA1, 0x93, 0x71, 'a', ' '}));
    const std::string& text = doc.WholeText();
    ScanState refScan;
    std::int32_t refDone = 0;
    std::string ref;
    convertVelmorToSjisReference(text, refScan, refDone, ref);
    const std::size_t split = findLineEnd(text, text.size() / 2) + 2;
    // Root is not held to the process limit; another user is.
    const uid_t uid = ::geteuid() == 0 ? 4102 : static_cast<uid_t>(-1);
    auto outcome = testing::runInChild(
        uid, 4202, {},
        [&] {
            ScanState scan;
            std::int32_t done = 0;
            std::string out;
            convertVelmorToSjisAt(text, std::vector<std::size_t>{split}, scan, done, out);
            if (out != ref || done != refDone) throw EInOutError(1, "different output");
        },
        [] {
            struct rlimit none = {0, 0};
            ::setrlimit(RLIMIT_NPROC, &none);
        });
    EXPECT_TRUE(outcome.started && outcome.exited) << "no thread to start ends the process";
    EXPECT_EQ(outcome.ioError, 0);
}

// The Document converted in place (convertDocument), its text in pieces of `pieceBytes`
// (each ends at the first line end past that size: with 1, every line is a piece),
// converted `sliceBytes` at a time (1: a line at a time) in `runs` runs, old pieces
// given to new ones or not, holds what ReplaceText with the whole text's conversion
// gives, with the same mark, scan, flag and report.
void checkInPieces(const std::string& text, bool toSjis, const ScanState& start,
                   const GaijiTable* table, std::size_t pieceBytes,
                   const DocumentConversionPlan& plan) {
    const Direction direction = toSjis ? Direction::ToSjis : Direction::ToVelmor;
    ScanState whole = start;
    std::int32_t wholeDone = 0;
    std::string converted;
    toSjis ? convertVelmorToSjis(text, whole, wholeDone, converted)
           : convertSjisToVelmor(text, whole, wholeDone, converted);
    Document expected;
    expected.ReplaceText(text);
    expected.SetModifiedMark(true);
    expected.ReplaceText(converted);
    const LoadColumnMap columns{ConversionReport{}};
    ConversionReport found, expectedFound;
    if (whole.mayReport == 1)
        locateConversionEntries(text, direction, table, columns, expectedFound);

    Document doc;
    doc.setPieceBytes(pieceBytes);
    doc.ReplaceText(text);
    doc.SetModifiedMark(true);
    ScanState scan = start;
    std::int32_t done = 0;
    convertDocument(doc, direction, scan, done, nullptr, {table, &columns, &found}, plan);
    const std::string where = hex(text) + " in pieces of " + std::to_string(pieceBytes) +
                              ", slices of " + std::to_string(plan.sliceBytes) + ", " +
                              std::to_string(plan.cut.maxParts) + " runs" +
                              (plan.inPlace ? ", in place" : "");
    ASSERT_EQ(hex(doc.WholeText()), hex(expected.WholeText())) << where;
    ASSERT_EQ(doc.ModifiedMark(), expected.ModifiedMark()) << where;
    ASSERT_EQ(doc.LineCount(), expected.LineCount()) << where;
    for (std::size_t i = 0; i < doc.LineCount(); ++i)
        ASSERT_EQ(doc.LineAt(i), expected.LineAt(i)) << where;
    ASSERT_EQ(done, wholeDone) << where;
    ASSERT_EQ(scan.kanjiPair, whole.kanjiPair) << where;
    ASSERT_EQ(scan.KanjiMode, whole.KanjiMode) << where;
    ASSERT_TRUE(found.entries() == expectedFound.entries()) << where;
}

// Converting a text cut into parts at line starts, all parts at once, gives exactly
// what the reference gives for the whole text: output, flag, final pair and mode,
// on every other round with a gaiji table that overrides the arithmetic. So does the
// Document converted in place with its text in pieces (checkInPieces).
// The cuts: each line start alone, every line start at once, and the plans that
// cut into 2, 3, 7 and 16 parts. Lines that end after a pair's first byte make a
// part depend on the pair the part before left, the case that forces a second pass.
TEST(Conversion, PartsMatchReferenceAtEveryLineStart) {
    auto rng = testing::seededRandom("Conversion.PartsMatchReference");
    const std::string alphabet = bytes({0x93, 0x70, 0xF1, 0x20, 0xB0, 0xA1, 'a', '\r', '\n', '\r',
                                        '\n', 0x89, 0x84, 0xF1, 0x88, 0x9F, 0x81, 0x40});
    // The table's rounds are made of whole pieces, so its pairs and codes stand in
    // runs and out of them, whole and cut by a line's end.
    const GaijiTable gaiji = parseGaijiTable("B0A1 F040\n7F21 8140\n", "gaiji.tsv");
    const GaijiPairTables gaijiTables(gaiji);
    const std::vector<std::string> pieces = {bytes({0x93, 0x70}),
                                             bytes({0x93, 0xF1}),
                                             bytes({0xB0, 0xA1}),
                                             bytes({0x7F, 0x21}),
                                             bytes({0x81, 0x40}),
                                             bytes({0xF0, 0x40}),
                                             bytes({0x88, 0x9F}),
                                             "\r\n",
                                             "a",
                                             bytes({0xB0}),
                                             bytes({0xF0})};
    // First the plain cases: a part's first line ends after a pair's first byte (a
    // lead byte alone is stored with the break's CR as its second byte, so these
    // texts end without a break), a run open at a part's end, a lead byte before the
    // CR LF that ends a part.
    const std::vector<std::string> crafted = {
        line({0x93, 0x70, 0xB0, 0xA1}) + bytes({0x93, 0x70, 0xB1}),
        line({0x88, 0x9F}) + bytes({0x89}),
        line({'a'}) + line({'b'}),
        line({0x93, 0x70, 0xB0}) + line({0x93, 0x70, 0xB1}) + line({'a', 0x93, 0x70, 0xB2}),
        bytes({0x88, 0x9F, 0x89, '\r', '\n', 0x89, '\r', '\n', 0x88, '\r', '\n'}),
    };
    for (int round = 0; round < 600 + static_cast<int>(crafted.size()); ++round) {
        Document doc;
        doc.ReplaceText(round < static_cast<int>(crafted.size()) ? crafted[round]
                        : round % 2 == 1 ? testing::textFromPieces(rng, rng() % 60, pieces)
                                         : testing::randomBytes(rng, 1 + rng() % 80, alphabet));
        const std::string& text = doc.WholeText();
        std::vector<std::vector<std::size_t>> cuts;
        std::vector<std::size_t> every;
        for (std::size_t start = findLineEnd(text, 0) + 2; start < text.size();
             start = findLineEnd(text, start) + 2) {
            cuts.push_back({start});
            every.push_back(start);
        }
        cuts.push_back(every);
        for (std::size_t parts : {2u, 3u, 7u, 16u}) cuts.push_back(partStarts(text, {parts, 1}));
        ScanState start;
        start.kanjiPair = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng())};
        const GaijiTable* table = round % 2 == 1 ? &gaiji : nullptr;
        if (table) start.tables = gaijiTables.tables();
        for (bool toSjis : {true, false}) {
            ScanState refScan = start;
            std::int32_t refDone = 0;
            std::string ref;
            toSjis ? convertVelmorToSjisReference(text, refScan, refDone, ref, table)
                   : convertSjisToVelmorReference(text, refScan, refDone, ref, table);
            for (const std::vector<std::size_t>& starts : cuts) {
                ScanState scan = start;
                std::int32_t done = 0;
                std::string out = "kept";
                toSjis ? convertVelmorToSjisAt(text, starts, scan, done, out)
                       : convertSjisToVelmorAt(text, starts, scan, done, out);
                const std::string where =
                    hex(text) + " cut into " + std::to_string(starts.size() + 1);
                ASSERT_EQ(hex(out), hex("kept" + ref)) << where;
                ASSERT_EQ(done, refDone) << where;
                ASSERT_EQ(scan.kanjiPair, refScan.kanjiPair) << where;
                ASSERT_EQ(scan.KanjiMode, refScan.KanjiMode) << where;
            }
            for (int k = 0; k < 3; ++k) {
                DocumentConversionPlan plan;
                plan.cut = {1 + rng() % 3, 1};
                plan.sliceBytes = std::vector<std::size_t>{1, 5, 1 << 20}[rng() % 3];
                plan.inPlace = rng() % 4 != 0;
                const std::size_t pieceBytes =
                    std::vector<std::size_t>{1, 2, 7, 1 << 20}[rng() % 4];
                checkInPieces(text, toSjis, start, table, pieceBytes, plan);
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
    }
}

}  // namespace
}  // namespace velmor
