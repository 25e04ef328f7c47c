#include "reportoutput.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "commands/reporttexts.h"
#include "document/utf8.h"

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

}  // namespace

std::string reportLines(const std::string& path, const ConversionReport& report,
                        std::size_t maxPerKind) {
    if (report.empty()) return {};
    std::string out;
    std::array<std::size_t, kReportKindCount> shown{};
    for (const ReportEntry& entry : report.entries()) {
        if (shown[static_cast<std::size_t>(entry.kind)]++ >= maxPerKind) continue;
        out += path + ":" + std::to_string(entry.line) + ":" + std::to_string(entry.column) + ": " +
               std::string(reportKindName(entry.kind)) + ": " + reportEntryMessage(entry) + "\n";
    }
    out += path + ": " + std::to_string(report.entries().size()) + " entries (";
    const char* separator = "";
    for (std::size_t k = 0; k < kReportKindCount; ++k) {
        const auto kind = static_cast<ReportKind>(k);
        if (report.count(kind) == 0) continue;
        out += separator + std::string(reportKindName(kind)) + " " +
               std::to_string(report.count(kind));
        separator = ", ";
    }
    return out + ")\n";
}

std::string reportJson(const std::vector<FileReport>& files) {
    std::string out = "{\"files\":[";
    for (std::size_t f = 0; f < files.size(); ++f) {
        const FileReport& file = files[f];
        out += f == 0 ? "{" : ",{";
        bool exact = true;
        out += "\"input\":" + jsonString(file.input, &exact);
        if (!exact) out += ",\"input_bytes\":\"" + reportBytesHex(file.input, "") + "\"";
        out += ",\"direction\":\"";
        if (file.utf8) {
            out += file.direction == Direction::ToSjis ? "to-utf8" : "from-utf8";
        } else {
            out += file.direction == Direction::ToSjis ? "to-sjis" : "to-velmor";
        }
        out += "\",\"counts\":{";
        for (std::size_t k = 0; k < kReportKindCount; ++k) {
            const auto kind = static_cast<ReportKind>(k);
            out += (k == 0 ? "\"" : ",\"") + std::string(reportKindName(kind)) +
                   "\":" + std::to_string(file.report.count(kind));
        }
        out += "},\"entries\":[";
        const auto& entries = file.report.entries();
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
