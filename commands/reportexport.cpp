#include "reportexport.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "document/loadsave.h"
#include "document/outputsink.h"
#include "filecommands.h"
#include "messages.h"
#include "reporttexts.h"

namespace velmor {

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

std::string reportColumnHeader(ReportColumn column) {
    static const char* const kHeaders[] = {"種類", "行", "桁", "バイト"};
    return kHeaders[static_cast<std::size_t>(column)];
}

std::string reportCell(const ReportEntry& entry, ReportColumn column) {
    switch (column) {
        case ReportColumn::Kind:
            return std::string(reportKindLabel(entry.kind));
        case ReportColumn::Line:
            return std::to_string(entry.line);
        case ReportColumn::Column:
            return std::to_string(entry.column);
        case ReportColumn::Bytes:
            break;
    }
    // Bytes cut short say how many there are.
    std::string cell = reportBytesHex(entry.bytes);
    if (entry.length > entry.bytes.size()) {
        cell += " …（" + std::to_string(entry.length) + " バイト）";
    }
    return cell;
}

std::vector<std::size_t> reportOrder(const ConversionReport& report, ReportColumn column,
                                     bool descending) {
    const std::vector<ReportEntry>& entries = report.entries();
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto place = [&](std::size_t i) {
        return std::tie(entries[i].line, entries[i].column, entries[i].kind);
    };
    // -1, 0 or 1 as entries a and b compare in the column alone.
    const auto compare = [&](std::size_t a, std::size_t b) -> int {
        const ReportEntry& x = entries[a];
        const ReportEntry& y = entries[b];
        switch (column) {
            case ReportColumn::Kind:
                return x.kind < y.kind ? -1 : y.kind < x.kind;
            case ReportColumn::Line:
                return 0;
            case ReportColumn::Column:
                return x.column < y.column ? -1 : y.column < x.column;
            case ReportColumn::Bytes:
                break;
        }
        const int bytes = x.bytes.compare(y.bytes);
        if (bytes != 0) return bytes < 0 ? -1 : 1;
        return x.length < y.length ? -1 : y.length < x.length;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = compare(a, b);
        if (c != 0) return descending ? c > 0 : c < 0;
        return descending && column == ReportColumn::Line ? place(b) < place(a)
                                                          : place(a) < place(b);
    });
    return order;
}

std::string reportTable(const ConversionReport& report, const std::vector<std::size_t>& rows,
                        TableForm form) {
    const bool csv = form == TableForm::Csv;
    const char* const separator = csv ? "," : "\t";
    const char* const lineEnd = csv ? "\r\n" : "\n";
    std::string table;
    const auto addLine = [&](auto cellOf) {
        for (std::size_t c = 0; c < kReportColumnCount; ++c) {
            const std::string cell = cellOf(static_cast<ReportColumn>(c));
            if (c > 0) table += separator;
            table += csv ? csvField(cell) : cell;
        }
        table += lineEnd;
    };
    addLine(reportColumnHeader);
    for (std::size_t row : rows) {
        addLine([&](ReportColumn c) { return reportCell(report.entries()[row], c); });
    }
    return table;
}

bool saveTableAs(const std::string& table, UserDialogs& dialogs, FileDialogState& state) {
    state.filter = kCsvFilter;
    if (!dialogs.runFileDialog(FileDialogKind::Save, state)) return false;
    if (!overwriteAllowed(state.fileName, dialogs)) return false;
    const std::unique_ptr<OutputSink> sink = openFileSink(state.fileName);
    sink->expect(table.size());
    sink->write(table);
    sink->finish();
    return true;
}

}  // namespace velmor
