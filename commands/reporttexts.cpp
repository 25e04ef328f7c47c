#include "reporttexts.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace velmor {

namespace {

std::string number(std::size_t n) {
    return std::to_string(n);
}

// The summary's sentence for `count` entries of one kind; after-end-mark counts bytes.
std::string kindSentence(ReportKind kind, std::size_t count) {
    const std::string n = number(count);
    switch (kind) {
        case ReportKind::AfterEndMark:
            return "ファイル終端記号（Ctrl-Z）の後の " + n + " バイトを読み込みませんでした";
        case ReportKind::LoneCr:
            return "単独の CR " + n + " 個を削除しました";
        case ReportKind::Gaiji:
            return "外字 " + n + " 文字を空白にしました";
        case ReportKind::OutsideRanges:
            return "範囲外の 2 バイト文字 " + n + " 文字を変換せずに残しました";
        case ReportKind::LoneLeadByte:
            return "行末で切れた 2 バイト文字が " + n + " 箇所あります";
        case ReportKind::InvalidPair:
            return "漢字コードでない組 " + n + " 組を変換しました";
        case ReportKind::CutPair:
            return "行末で切れた漢字の組が " + n + " 箇所あります";
        case ReportKind::IbmExtension:
            return "VELMOR にない IBM 拡張文字 " + n + " 文字を空白にしました";
        case ReportKind::NoCp932:
            return "Shift-JIS にない文字 " + n + " 文字を〓にしました";
        case ReportKind::NoUnicode:
            return "文字にならないバイト列 " + n + " 箇所を置き換えました";
    }
    return {};
}

}  // namespace

std::string_view reportKindLabel(ReportKind kind) {
    static constexpr std::array<std::string_view, kReportKindCount> kLabels = {
        "終端記号の後",
        "単独の CR",
        "外字",
        "範囲外の文字",
        "切れた 2 バイト文字",
        "不正な組",
        "切れた組",
        "IBM 拡張文字",
        "Shift-JIS にない文字",
        "文字にならないバイト列"};
    return kLabels[static_cast<std::size_t>(kind)];
}

std::string reportEntryMessage(const ReportEntry& entry) {
    switch (entry.kind) {
        case ReportKind::AfterEndMark:
            return "ファイル終端記号（Ctrl-Z）の後の " + number(entry.length) +
                   " バイトを読み込みませんでした";
        case ReportKind::LoneCr:
            return "単独の CR を削除しました";
        case ReportKind::Gaiji:
            return "外字 " + reportBytesHex(entry.bytes) + " を空白にしました";
        case ReportKind::OutsideRanges:
            return "範囲外の 2 バイト文字 " + reportBytesHex(entry.bytes) +
                   " を変換せずに残しました";
        case ReportKind::LoneLeadByte:
            return "行末で 2 バイト文字が切れています（" + reportBytesHex(entry.bytes) + "）";
        case ReportKind::InvalidPair:
            return "漢字コードでない組 " + reportBytesHex(entry.bytes) + " を変換しました";
        case ReportKind::CutPair:
            return "行末で漢字の組が切れています（" + reportBytesHex(entry.bytes) + "）";
        case ReportKind::IbmExtension:
            return "IBM 拡張文字 " + reportBytesHex(entry.bytes) +
                   "（コードページ 932 の FA40–FC4B）は VELMOR にないため空白にしました";
        case ReportKind::NoCp932:
            return "Shift-JIS にない文字 " + reportBytesHex(entry.bytes) + " を〓にしました";
        case ReportKind::NoUnicode:
            return "文字にならないバイト列 " + reportBytesHex(entry.bytes) + " を置き換えました";
    }
    return {};
}

std::string reportBytesHex(std::string_view bytes, std::string_view separator) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += separator;
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

ReportDigest digestReport(const ConversionReport& report) {
    ReportDigest digest;
    const auto& entries = report.entries();
    if (entries.empty()) return digest;
    digest.entries = entries.size();
    digest.only = entries.front().kind;
    for (std::size_t k = 0; k < kReportKindCount; ++k) {
        if (report.count(static_cast<ReportKind>(k)) == 0) continue;
        ++digest.kinds;
        digest.only = static_cast<ReportKind>(k);
    }
    digest.onlyCount =
        digest.only == ReportKind::AfterEndMark ? entries.front().length : entries.size();
    digest.firstLine = entries.front().line;
    for (const ReportEntry& entry : entries)
        digest.firstLine = std::min(digest.firstLine, entry.line);
    return digest;
}

std::string reportSummary(const ConversionReport& report, std::size_t gaijiInUse) {
    std::string summary;
    if (!report.empty()) {
        const ReportDigest digest = digestReport(report);
        if (digest.kinds > 1) {
            summary = "変換で意味の失われる箇所が " + number(digest.entries) + " 件あります";
        } else {
            summary = kindSentence(digest.only, digest.onlyCount);
        }
        summary += "（" + number(digest.firstLine) + " 行目" + (digest.entries > 1 ? " ほか" : "") +
                   "）— 詳細 (" + kReportListKey + ")";
    }
    if (gaijiInUse > 0) {
        if (!summary.empty()) summary += "　";
        summary += "外字表 " + number(gaijiInUse) + " 件を使用中";
    }
    return summary;
}

}  // namespace velmor
