#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "document/report.h"

namespace velmor {

// The texts through which the window and the command line show the conversion
// report. All are UTF-8.

// The kind as the window's list names it.
std::string_view reportKindLabel(ReportKind kind);

// What happened at one entry, as one sentence.
std::string reportEntryMessage(const ReportEntry& entry);

// Bytes as upper-case hex pairs, separated by spaces ("F0 40") or as given.
std::string reportBytesHex(std::string_view bytes, std::string_view separator = " ");

// What a one-line summary of a report says: how many entries there are, of how many
// kinds, the only kind where there is one (with its count: bytes for the bytes after
// an end mark, else entries), and the first line concerned.
struct ReportDigest {
    std::size_t entries = 0;
    std::size_t kinds = 0;
    ReportKind only = ReportKind::AfterEndMark;
    std::size_t onlyCount = 0;
    std::size_t firstLine = 0;
};
ReportDigest digestReport(const ConversionReport& report);

// The window's one-line summary: what the report holds and how many gaiji table
// entries are in use (0: no table). Empty when there is nothing to say.
std::string reportSummary(const ConversionReport& report, std::size_t gaijiInUse);

// The key that opens the list of entries, as the summary names it.
inline constexpr char kReportListKey[] = "F8";

}  // namespace velmor
