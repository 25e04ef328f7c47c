// The conversion report's plain locators and the gaiji table's parser, on crafted
// lines: each kind at its line and column in the input file, nothing on clean text.
#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "convert/converters.h"
#include "convert/gaijitable.h"
#include "convert/reportlocator.h"
#include "document/document.h"
#include "document/linebreaks.h"
#include "document/loadreport.h"
#include "support/bytes.h"

namespace velmor {
namespace {

using testing::bytes;

// The Document's text after loading these file lines: each with its space, CR LF.
std::string loaded(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + " \r\n";
    return text;
}

struct Found {
    ReportKind kind;
    std::size_t line, column;
    std::string bytes;
    friend bool operator==(const Found&, const Found&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Found& f) {
        return os << reportKindName(f.kind) << " " << f.line << ":" << f.column << " "
                  << testing::hex(f.bytes);
    }
};

std::vector<Found> found(const ConversionReport& report) {
    std::vector<Found> out;
    for (const ReportEntry& e : report.entries())
        out.push_back({e.kind, e.line, e.column, e.bytes});
    return out;
}

std::vector<Found> locate(const std::vector<std::string>& lines, Direction direction,
                          const GaijiTable* table = nullptr, const ConversionReport& load = {}) {
    ConversionReport report;
    locateConversionEntries(loaded(lines), direction, table, LoadColumnMap(load), report);
    return found(report);
}

GaijiTable table(std::string_view text) {
    return parseGaijiTable(text, "gaiji.tsv");
}

TEST(LoadReport, LoneCrsAndBytesAfterTheEndMarkAtTheirFilePositions) {
    ConversionReport report;
    locateLoadEntries(bytes({0x41, 0x0D, 0x42, 0x0D, 0x0A, 0x0D, 0x0D, 0x0D, 0x0A, 0x43, 0x0D, 0x0A,
                             0x1A, 0x44, 0x45}),
                      report);
    EXPECT_EQ(found(report), (std::vector<Found>{{ReportKind::LoneCr, 1, 2, "\r"},
                                                 {ReportKind::LoneCr, 2, 1, "\r"},
                                                 {ReportKind::LoneCr, 2, 2, "\r"},
                                                 {ReportKind::AfterEndMark, 4, 1, "DE"}}));
    EXPECT_EQ(report.entries().back().length, 2u);
    EXPECT_EQ(report.count(ReportKind::LoneCr), 3u);
    // Line 2 loads as the space alone; both of its lone CRs stood before it.
    EXPECT_EQ(report.entries()[2].viewColumn, 0u);

    // A last line ending in CR, then nothing but a final end mark: only the CR.
    ConversionReport tail;
    locateLoadEntries(bytes({0x41, 0x0D, 0x0A, 0x42, 0x0D}), tail);
    EXPECT_EQ(found(tail), (std::vector<Found>{{ReportKind::LoneCr, 2, 2, "\r"}}));
    ConversionReport clean;
    locateLoadEntries(bytes({0x41, 0x0D, 0x0A, 0x42, 0x0A, 0x1A}), clean);
    locateLoadEntries(bytes({0x41, 0x1A, 0x42}), clean);
    EXPECT_TRUE(clean.empty());
}

TEST(LoadReport, ColumnMapSkipsTheDroppedCrs) {
    ConversionReport load;
    locateLoadEntries(bytes({0x41, 0x0D, 0x0D, 0x42, 0x0D, 0x43}), load);
    LoadColumnMap columns(load);
    EXPECT_EQ(columns.fileColumn(1, 1), 1u);
    EXPECT_EQ(columns.fileColumn(1, 2), 4u);
    EXPECT_EQ(columns.fileColumn(1, 3), 6u);
    EXPECT_EQ(columns.fileColumn(2, 3), 3u);
}

TEST(ReportToVelmor, EachKindAtItsLineAndColumn) {
    // FA40-FC4B are the IBM extensions, the rest of F040-FCFC gaiji.
    EXPECT_EQ(locate({"A", bytes({0x41, 0xF0, 0x40, 0x42, 0xFA, 0x40, 0xFC, 0x4B, 0xFC, 0x4C})},
                     Direction::ToVelmor),
              (std::vector<Found>{{ReportKind::Gaiji, 2, 2, bytes({0xF0, 0x40})},
                                  {ReportKind::IbmExtension, 2, 5, bytes({0xFA, 0x40})},
                                  {ReportKind::IbmExtension, 2, 7, bytes({0xFC, 0x4B})},
                                  {ReportKind::Gaiji, 2, 9, bytes({0xFC, 0x4C})}}));
    // ED 40 lies in no range; its trail byte is not reported again, also at the end.
    EXPECT_EQ(locate({bytes({0xED, 0x40, 0x88, 0x9F, 0xED, 0x81})}, Direction::ToVelmor),
              (std::vector<Found>{{ReportKind::OutsideRanges, 1, 1, bytes({0xED, 0x40})},
                                  {ReportKind::OutsideRanges, 1, 5, bytes({0xED, 0x81})}}));
    // A lead byte at the line's end, in a range with the loaded space or not.
    EXPECT_EQ(locate({bytes({0x41, 0x84}), bytes({0x88, 0x9F, 0x81}), bytes({0xED})},
                     Direction::ToVelmor),
              (std::vector<Found>{{ReportKind::LoneLeadByte, 1, 2, bytes({0x84})},
                                  {ReportKind::LoneLeadByte, 2, 3, bytes({0x81})},
                                  {ReportKind::LoneLeadByte, 3, 1, bytes({0xED})}}));
    // Clean text: kanji, symbols, katakana, ASCII, the ideographic space, an 80 byte.
    EXPECT_TRUE(locate({bytes({0x88, 0x9F, 0x41, 0x81, 0x40, 0xB1, 0x87, 0x40, 0x80, 0xFD}), ""},
                       Direction::ToVelmor)
                    .empty());
}

TEST(ReportToVelmor, ColumnsCountTheDroppedCrsAndViewShowsTheOutput) {
    ConversionReport load;
    locateLoadEntries(bytes({0x41, 0x0D, 0xF0, 0x40}), load);
    ConversionReport report;
    locateConversionEntries(loaded({bytes({0x41, 0xF0, 0x40})}), Direction::ToVelmor, nullptr,
                            LoadColumnMap(load), report);
    ASSERT_EQ(report.entries().size(), 1u);
    const ReportEntry& e = report.entries()[0];
    EXPECT_EQ(e.column, 3u);
    // Output 41 93 70 20 20 93 F1 20: the two spaces at offset 3.
    EXPECT_EQ(e.viewLine, 0u);
    EXPECT_EQ(e.viewColumn, 3u);
    EXPECT_EQ(e.viewLength, 2u);
}

TEST(ReportToSjis, EachKindAtItsLineAndColumn) {
    EXPECT_EQ(locate({bytes({0x93, 0x70, 0xB0, 0xA1, 0x41, 0x42, 0x93, 0xF1}),
                      bytes({0x41, 0x93, 0x4C, 0xB0, 0xA1, 0xB0}),
                      bytes({0x93, 0x70, 0xB0, 0x0A, 0x20, 0x41})},
                     Direction::ToSjis),
              (std::vector<Found>{{ReportKind::InvalidPair, 1, 5, "AB"},
                                  {ReportKind::CutPair, 2, 6, bytes({0xB0})},
                                  {ReportKind::InvalidPair, 3, 3, bytes({0xB0, 0x0A})}}));
    // Ideographic spaces, cut or not, a run left open, bytes outside runs: clean.
    EXPECT_TRUE(locate({bytes({0x93, 0x70, 0xB0, 0xA1, 0x20, 0x41, 0x20}),
                        bytes({0x93, 0x70, 0xB0, 0xA1}), bytes({0x41, 0x0A, 0xB0, 0x93})},
                       Direction::ToSjis)
                    .empty());
}

TEST(ReportWithTable, MappedCharactersAreNotReported) {
    GaijiTable t = table("7F21 F040\n4142 ED40\n");
    EXPECT_TRUE(locate({bytes({0xF0, 0x40, 0xED, 0x40})}, Direction::ToVelmor, &t).empty());
    EXPECT_EQ(
        locate({bytes({0x93, 0x70, 0x7F, 0x21, 0x41, 0x42, 0x7F, 0x22})}, Direction::ToSjis, &t),
        (std::vector<Found>{{ReportKind::InvalidPair, 1, 7, bytes({0x7F, 0x22})}}));
}

TEST(GaijiTableParser, ReadsMappingsCommentsAndBlankLines) {
    GaijiTable t = table(
        "\xEF\xBB\xBF# VELMOR pair   Shift-JIS code   comment\r\n"
        "7F21\tF040\t\xE9\xAB\x99 (\xE3\x81\xAF\xE3\x81\x97\xE3\x81\x94)\r\n"
        "\n   \t\n"
        "7f22 f041 # comment\n"
        "A1A1 ED40");
    EXPECT_EQ(t.size(), 3u);
    EXPECT_EQ(t.velmorToSjis().at(0x7F22), 0xF041);
    EXPECT_EQ(t.sjisToVelmor().at(0xED40), 0xA1A1);
    EXPECT_TRUE(table("").empty());
}

TEST(GaijiTableParser, EveryErrorNamesFileLineAndWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"7F21", "gaiji.tsv:2: Shift-JIS コードがありません"},
        {"7F2 F040", "gaiji.tsv:2: VELMOR の組「7F2」が 16 進 4 桁ではありません"},
        {"7F21 F04G", "gaiji.tsv:2: Shift-JIS コード「F04G」が 16 進 4 桁ではありません"},
        {"2041 F040", "gaiji.tsv:2: VELMOR の組 2041 は全角空白です（先頭バイト 20）"},
        {"9370 F040", "gaiji.tsv:2: VELMOR の組 9370 は漢字インの並びです"},
        {"934C F040", "gaiji.tsv:2: VELMOR の組 934C は漢字インの並びです"},
        {"93F1 F040", "gaiji.tsv:2: VELMOR の組 93F1 は漢字アウトの並びです"},
        {"7F1A F040", "gaiji.tsv:2: VELMOR の組 7F1A に 0A、0D、1A のバイトがあります"},
        {"7F21 A040",
         "gaiji.tsv:2: Shift-JIS コード A040 の第 1 バイトが 81–9F、E0–FC にありません"},
        {"7F21 F07F",
         "gaiji.tsv:2: Shift-JIS コード F07F の第 2 バイトが 40–7E、80–FC にありません"},
        {"7f21 F041", "gaiji.tsv:2: VELMOR の組 7F21 は 1 行目にもあります"},
        {"7F22 f040", "gaiji.tsv:2: Shift-JIS コード F040 は 1 行目にもあります"},
        {"\x82\xA0 F041", "gaiji.tsv:2: VELMOR の組「<82 A0>」が 16 進 4 桁ではありません"},
    };
    for (const auto& [line, message] : cases) {
        try {
            table(std::string("7F21 F040\n") + line + "\n7F30 F050\n");
            ADD_FAILURE() << line << " was accepted";
        } catch (const EGaijiTableError& e) {
            EXPECT_EQ(e.message(), message);
            EXPECT_EQ(e.Line, 2u);
        }
    }
    // Comments hold any bytes: Shift-JIS, broken UTF-8.
    EXPECT_EQ(table("7F21 F040 \x8D\x82\n# \xE9\xAB\n7F22 F041\t\xFF#x\n").size(), 2u);
}

// The fast converters raise mayReport whenever the plain locator finds an entry,
// whole or cut into two parts at any line start, with and without a gaiji table.
TEST(ReportFlag, RaisedWheneverTheLocatorFindsAnEntry) {
    auto rng = testing::seededRandom("ReportFlag.RaisedWheneverTheLocatorFindsAnEntry");
    const std::string alphabet =
        bytes({0x93, 0x70, 0xF1, 0x20, 0xB0, 0xA1, 'a',  '\r', '\n', 0x88, 0x9F,
               0x81, 0x40, 0xF0, 0xED, 0x7F, 0x21, 0x84, 0xFC, 0x85, 0xA0, 0x0A});
    GaijiTable gaiji = table("7F21 F040\nB0A1 ED40\n");
    GaijiPairTables gaijiTables(gaiji);
    int flagged = 0;
    for (int round = 0; round < 1500; ++round) {
        std::vector<std::string> lines(1 + rng() % 4);
        for (auto& line : lines) line = testing::randomBytes(rng, rng() % 12, alphabet);
        Document doc;
        doc.ReplaceText(loaded(lines));
        const std::string& text = doc.WholeText();
        const bool withTable = round % 2 == 1;
        for (Direction direction : {Direction::ToSjis, Direction::ToVelmor}) {
            ConversionReport report;
            locateConversionEntries(text, direction, withTable ? &gaiji : nullptr,
                                    LoadColumnMap(ConversionReport{}), report);
            for (std::size_t split = 0; split < text.size();
                 split = split == 0 ? findLineEnd(text, 0) + 2 : findLineEnd(text, split) + 2) {
                ScanState scan;
                if (withTable) scan.tables = gaijiTables.tables();
                std::int32_t done = 0;
                std::string out;
                const std::span<const std::size_t> starts(&split, split == 0 ? 0 : 1);
                direction == Direction::ToSjis
                    ? convertVelmorToSjisAt(text, starts, scan, done, out)
                    : convertSjisToVelmorAt(text, starts, scan, done, out);
                ASSERT_TRUE(report.empty() || scan.mayReport == 1)
                    << testing::hex(text) << " split " << split;
                flagged += scan.mayReport;
            }
        }
    }
    EXPECT_GT(flagged, 0);
}

}  // namespace
}  // namespace velmor
