#include "reportoutput.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "commands/reporttexts.h"
#include "document/utf8.h"
#include "i18n.h"
#include "texts.h"

namespace velmor {

namespace {

// A JSON string of `text`. JSON holds only Unicode, so a byte that is not part of
// valid UTF-8 (a path in another encoding) is written as U+FFFD; `exact` then tells
// the caller to give the bytes as well.
std::string jsonString(std::string_view text, bool* exact = nullptr) {
    std::string out = "\"";
    if (exact) *exact = true;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text.substr(i));
        if (length == 0) {
            out += "\\ufffd";
            if (exact) *exact = false;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.append(text.substr(i, length));
        }
        i += std::max<std::size_t>(length, 1);
    }
    return out + "\"";
}

// "name":"path", and "name_bytes":"HEX" beside it when the path is not UTF-8.
std::string pathField(const char* name, const std::string& path) {
    bool exact = true;
    std::string out = "\"" + std::string(name) + "\":" + jsonString(path, &exact);
    if (!exact) out += ",\"" + std::string(name) + "_bytes\":\"" + reportBytesHex(path, "") + "\"";
    return out;
}

std::string errorJson(const FileReport& file) {
    const FileResult& r = file.result;
    if (r.outcome == FileOutcome::Refused) {
        std::string out = "{\"code\":\"" + std::string(refusalName(r.refusal)) +
                          "\",\"message\":" + jsonString(refusalText(r));
        if (r.line != 0) {
            out +=
                ",\"line\":" + std::to_string(r.line) + ",\"column\":" + std::to_string(r.column);
        }
        return out + "}";
    }
    std::string out = "{\"code\":" + std::to_string(r.code) +
                      ",\"message\":" + jsonString(failureText(r)) + "," +
                      pathField("path", shownInput(r.path));
    if (!r.keptCopy.empty()) out += "," + pathField("kept_copy", r.keptCopy);
    return out + "}";
}

const char* statusName(const FileReport& file, bool check) {
    switch (file.result.outcome) {
        case FileOutcome::Converted:
            return check ? "checked" : "converted";
        case FileOutcome::Refused:
            return "refused";
        case FileOutcome::Failed:
            break;
    }
    return "failed";
}

}  // namespace

std::string reportLines(const std::string& path, const ConversionReport& report,
                        std::size_t maxPerKind) {
    if (report.empty()) return {};
    std::string out;
    std::array<std::size_t, kReportKindCount> shown{};
    std::size_t cut = 0;
    for (const ReportEntry& entry : report.entries()) {
        if (shown[static_cast<std::size_t>(entry.kind)]++ >= maxPerKind) {
            ++cut;
            continue;
        }
        out += path + ":" + std::to_string(entry.line) + ":" + std::to_string(entry.column) + ": " +
               std::string(reportKindName(entry.kind)) + ": " + entryText(entry) + "\n";
    }
    if (cut > 0) {
        out += path + ": " +
               fill(trn("%1 more entry not shown (--max-report %2)",
                        "%1 more entries not shown (--max-report %2)", cut),
                    {std::to_string(cut), std::to_string(maxPerKind)}) +
               "\n";
    }
    std::string kinds;
    for (std::size_t k = 0; k < kReportKindCount; ++k) {
        const auto kind = static_cast<ReportKind>(k);
        if (report.count(kind) == 0) continue;
        kinds += (kinds.empty() ? "" : ", ") + std::string(reportKindName(kind)) + " " +
                 std::to_string(report.count(kind));
    }
    const std::size_t total = report.entries().size();
    return out + path + ": " +
           fill(trn("%1 entry (%2)", "%1 entries (%2)", total), {std::to_string(total), kinds}) +
           "\n";
}

std::string reportJson(const RunReport& run) {
    std::string out =
        "{\"schema_version\":" + std::to_string(kReportSchemaVersion) + ",\"gaiji_table\":";
    if (run.gaijiTable.empty()) {
        out += "null";
    } else {
        out += "{" + pathField("path", run.gaijiTable) +
               ",\"entries\":" + std::to_string(run.gaijiEntries) + "}";
    }
    out += ",\"files\":[";
    for (std::size_t f = 0; f < run.files.size(); ++f) {
        const FileReport& file = run.files[f];
        const ConversionReport& report = file.result.report;
        out += f == 0 ? "{" : ",{";
        out += pathField("input", shownInput(file.job.input));
        out += ",";
        out += run.check ? "\"output\":null" : pathField("output", shownOutput(file.job.output));
        out += ",\"direction\":\"";
        if (run.utf8) {
            out += run.direction == Direction::ToSjis ? "to-utf8" : "from-utf8";
        } else {
            out += run.direction == Direction::ToSjis ? "to-sjis" : "to-velmor";
        }
        out += "\",\"status\":\"" + std::string(statusName(file, run.check)) + "\",\"error\":";
        out += file.result.outcome == FileOutcome::Converted ? "null" : errorJson(file);
        out += ",\"counts\":{";
        for (std::size_t k = 0; k < kReportKindCount; ++k) {
            const auto kind = static_cast<ReportKind>(k);
            out += (k == 0 ? "\"" : ",\"") + std::string(reportKindName(kind)) +
                   "\":" + std::to_string(report.count(kind));
        }
        out += "},\"entries\":[";
        const auto& entries = report.entries();
        for (std::size_t e = 0; e < entries.size(); ++e) {
            const ReportEntry& entry = entries[e];
            out += (e == 0 ? "{\"kind\":\"" : ",{\"kind\":\"") +
                   std::string(reportKindName(entry.kind)) +
                   "\",\"line\":" + std::to_string(entry.line) +
                   ",\"column\":" + std::to_string(entry.column) + ",\"bytes\":\"" +
                   reportBytesHex(entry.bytes, "") + "\"";
            if (entry.length != entry.bytes.size()) {
                out += ",\"length\":" + std::to_string(entry.length);
            }
            out += "}";
        }
        out += "]}";
    }
    return out + "]}\n";
}

}  // namespace velmor
