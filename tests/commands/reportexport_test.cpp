// The report's list as the window shows, copies and saves it.
#include "commands/reportexport.h"

#include <gtest/gtest.h>

#include "support/scripteddialogs.h"
#include "support/tempfolder.h"

namespace velmor {
namespace {

using testing::ScriptedDialogs;

ReportEntry entry(ReportKind kind, std::size_t line, std::size_t column, std::string bytes,
                  std::size_t length) {
    return {kind, line, column, std::move(bytes), length, line - 1, column - 1, 1};
}

// Load entries come first in the report, then a conversion's: 3, 6, 2, 4 by line.
ConversionReport mixed() {
    ConversionReport load, found;
    load.add(entry(ReportKind::LoneCr, 3, 5, "\r", 1));
    load.add(entry(ReportKind::AfterEndMark, 6, 1, std::string(16, 'A'), 5000));
    found.add(entry(ReportKind::Gaiji, 2, 3, "\xF0\x40", 2));
    found.add(entry(ReportKind::OutsideRanges, 4, 1, "\x85\x40", 2));
    load.addConversion(found);
    return load;
}

TEST(ReportExport, PositionOrderAndEveryColumnSorts) {
    const ConversionReport report = mixed();
    const auto lines = [&](const std::vector<std::size_t>& order) {
        std::vector<std::size_t> out;
        for (std::size_t i : order) out.push_back(report.entries()[i].line);
        return out;
    };
    EXPECT_EQ(lines(reportOrder(report, ReportColumn::Line)),
              (std::vector<std::size_t>{2, 3, 4, 6}));
    EXPECT_EQ(lines(reportOrder(report, ReportColumn::Line, true)),
              (std::vector<std::size_t>{6, 4, 3, 2}));
    EXPECT_EQ(lines(reportOrder(report, ReportColumn::Column)),
              (std::vector<std::size_t>{4, 6, 2, 3}));
    EXPECT_EQ(lines(reportOrder(report, ReportColumn::Kind)),
              (std::vector<std::size_t>{6, 3, 2, 4}));
    EXPECT_EQ(lines(reportOrder(report, ReportColumn::Bytes, true)),
              (std::vector<std::size_t>{2, 4, 6, 3}));
}

TEST(ReportExport, TablesWithHeaderByteCountAndCsvQuoting) {
    const ConversionReport report = mixed();
    const std::vector<std::size_t> order = reportOrder(report, ReportColumn::Line);
    const std::string tabs = reportTable(report, {order[0], order[3]}, TableForm::Tabs);
    EXPECT_EQ(
        tabs,
        "種類\t行\t桁\tバイト\n"
        "外字\t2\t3\tF0 40\n"
        "終端記号の後\t6\t1\t41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 …（5000 バイト）\n");
    ConversionReport quoted;
    quoted.add(entry(ReportKind::LoneCr, 1, 1, "\r", 1));
    EXPECT_EQ(reportTable(quoted, {0}, TableForm::Csv),
              "種類,行,桁,バイト\r\n単独の CR,1,1,0D\r\n");
    EXPECT_EQ(reportCell(entry(ReportKind::Gaiji, 1, 1, "a,\"b", 4), ReportColumn::Bytes),
              "61 2C 22 62");
}

TEST(ReportExport, SavedAsCsvAskingBeforeReplacingAFile) {
    testing::TempFolder dir;
    const std::string path = dir / "report.csv";
    testing::writeFile(path, "old");
    ScriptedDialogs dialogs;
    FileDialogState state;
    dialogs.choose(path).answer(mrNo);
    EXPECT_FALSE(saveTableAs("a,b\r\n", dialogs, state));
    EXPECT_EQ(testing::readFile(path), "old");
    EXPECT_EQ(dialogs.questions.back().text, "report.csvは既存です。上書きしますか？");
    EXPECT_EQ(dialogs.fileRequests.back().filter, "CSV (*.csv)|*.csv|すべて (*.*)|*.*");
    dialogs.choose(path).answer(mrYes);
    EXPECT_TRUE(saveTableAs("a,b\r\n", dialogs, state));
    EXPECT_EQ(testing::readFile(path), "a,b\r\n");
}

}  // namespace
}  // namespace velmor
