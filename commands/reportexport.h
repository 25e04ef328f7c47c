#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "document/report.h"
#include "userdialogs.h"

namespace velmor {

// The report's entries as the window's list shows, copies and saves them.

// The list's columns, in order.
enum class ReportColumn { Kind, Line, Column, Bytes };
inline constexpr std::size_t kReportColumnCount = 4;

// The header of a column, and the text of an entry in it.
std::string reportColumnHeader(ReportColumn column);
std::string reportCell(const ReportEntry& entry, ReportColumn column);

// The entries' indices sorted by `column` (descending: largest first), and by their
// place in the input file where the column's values are equal. By line, that is the
// order of their places, whatever found them.
std::vector<std::size_t> reportOrder(const ConversionReport& report, ReportColumn column,
                                     bool descending = false);

// The entries at `rows` as a table with a header line: tab-separated lines for the
// clipboard, or CSV (RFC 4180: CR LF, fields quoted where needed).
enum class TableForm { Tabs, Csv };
std::string reportTable(const ConversionReport& report, const std::vector<std::size_t>& rows,
                        TableForm form);

// Asks for a file through the save dialog `state` (and before replacing one) and
// writes `table` to it as the window's Save As writes. False when the user cancelled
// or refused the overwrite; throws EInOutError.
bool saveTableAs(const std::string& table, UserDialogs& dialogs, FileDialogState& state);

}  // namespace velmor
