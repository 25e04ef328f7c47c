#include "report.h"

#include <algorithm>
#include <utility>

namespace velmor {

std::string_view reportKindName(ReportKind kind) {
    static constexpr std::array<std::string_view, kReportKindCount> kNames = {
        "after-end-mark", "lone-cr",  "gaiji",         "outside-ranges", "lone-lead-byte",
        "invalid-pair",   "cut-pair", "ibm-extension", "no-cp932",       "no-unicode"};
    return kNames[static_cast<std::size_t>(kind)];
}

void ConversionReport::add(ReportEntry entry) {
    ++counts_[static_cast<std::size_t>(entry.kind)];
    entries_.push_back(std::move(entry));
}

void ConversionReport::addConversion(const ConversionReport& found,
                                     const std::function<void(ReportEntry&)>& moveView) {
    for (ReportEntry& entry : entries_) {
        if (moveView) {
            moveView(entry);
        } else {
            entry.viewLength = 0;
        }
    }
    for (const ReportEntry& entry : found.entries_) add(entry);
    ++conversions_;
}

void ConversionReport::sortByPlace() {
    std::stable_sort(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
}

void ConversionReport::clear() {
    entries_.clear();
    counts_ = {};
    conversions_ = 0;
}

}  // namespace velmor
