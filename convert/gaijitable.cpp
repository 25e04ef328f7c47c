#include "gaijitable.h"

#include <cstdio>
#include <optional>

#include "document/linebreaks.h"
#include "document/textfile.h"
#include "document/utf8.h"
#include "kanjicode.h"
#include "pairtables.h"

namespace velmor {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The next blank-separated field of `rest`, taken off its front.
std::string_view takeField(std::string_view& rest) {
    std::size_t start = 0;
    while (start < rest.size() && isBlank(rest[start])) ++start;
    std::size_t end = start;
    while (end < rest.size() && !isBlank(rest[end])) ++end;
    std::string_view field = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return field;
}

std::optional<std::uint16_t> parseHex4(std::string_view field) {
    if (field.size() != 4) return std::nullopt;
    unsigned value = 0;
    for (char c : field) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    return static_cast<std::uint16_t>(value);
}

std::string hex4(std::uint16_t code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", code);
    return buf;
}

bool isControlByte(unsigned b) {
    return b == 0x0A || b == 0x0D || b == 0x1A;
}

// A field as the window's message shows it: as written when it is UTF-8, else its
// bytes in hex.
std::string shown(std::string_view field) {
    if (isUtf8(field)) return std::string(field);
    std::string out;
    for (unsigned char c : field) {
        char buf[4];
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", c);
        out += buf;
    }
    return "<" + out + ">";
}

// What is wrong with a VELMOR pair, if anything.
std::optional<GaijiProblem> velmorPairProblem(std::uint16_t pair) {
    const unsigned first = pair >> 8, second = pair & 0xFF;
    const Code2 code = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
    if (first == 0x20) return GaijiProblem::VelmorSpace;
    for (const Code2& in : kKanjiIn) {
        if (code == in) return GaijiProblem::VelmorKanjiIn;
    }
    if (code == kKanjiOut) return GaijiProblem::VelmorKanjiOut;
    if (isControlByte(first) || isControlByte(second)) return GaijiProblem::VelmorControlByte;
    return std::nullopt;
}

// What is wrong with a Shift-JIS code, if anything.
std::optional<GaijiProblem> sjisCodeProblem(std::uint16_t code) {
    if (!isLeadByte(static_cast<std::uint8_t>(code >> 8))) return GaijiProblem::SjisBadLead;
    if (!isTrailByte(static_cast<std::uint8_t>(code & 0xFF))) return GaijiProblem::SjisBadTrail;
    return std::nullopt;
}

// The window's text for a bad line.
std::string problemText(GaijiProblem problem, const std::string& field, std::size_t earlier) {
    switch (problem) {
        case GaijiProblem::VelmorNotHex:
            return "VELMOR の組「" + field + "」が 16 進 4 桁ではありません";
        case GaijiProblem::NoSjisCode:
            return "Shift-JIS コードがありません";
        case GaijiProblem::SjisNotHex:
            return "Shift-JIS コード「" + field + "」が 16 進 4 桁ではありません";
        case GaijiProblem::VelmorSpace:
            return "VELMOR の組 " + field + " は全角空白です（先頭バイト 20）";
        case GaijiProblem::VelmorKanjiIn:
            return "VELMOR の組 " + field + " は漢字インの並びです";
        case GaijiProblem::VelmorKanjiOut:
            return "VELMOR の組 " + field + " は漢字アウトの並びです";
        case GaijiProblem::VelmorControlByte:
            return "VELMOR の組 " + field + " に 0A、0D、1A のバイトがあります";
        case GaijiProblem::SjisBadLead:
            return "Shift-JIS コード " + field + " の第 1 バイトが 81–9F、E0–FC にありません";
        case GaijiProblem::SjisBadTrail:
            return "Shift-JIS コード " + field + " の第 2 バイトが 40–7E、80–FC にありません";
        case GaijiProblem::VelmorAgain:
            return "VELMOR の組 " + field + " は " + std::to_string(earlier) + " 行目にもあります";
        case GaijiProblem::SjisAgain:
            return "Shift-JIS コード " + field + " は " + std::to_string(earlier) +
                   " 行目にもあります";
    }
    return {};
}

}  // namespace

void GaijiTable::add(std::uint16_t velmor, std::uint16_t sjis) {
    toSjis_[velmor] = sjis;
    toVelmor_[sjis] = velmor;
}

GaijiPairTables::GaijiPairTables(const GaijiTable& table)
    : toSjis_(std::make_unique<VelmorToSjisTable>(velmorToSjisTable())),
      toVelmor_(std::make_unique<SjisToVelmorTable>(sjisToVelmorTable())) {
    for (auto [velmor, sjis] : table.velmorToSjis()) {
        const auto sjisLead = static_cast<std::uint8_t>(sjis >> 8);
        const auto sjisTrail = static_cast<std::uint8_t>(sjis);
        const auto velmorFirst = static_cast<std::uint8_t>(velmor >> 8);
        const auto velmorSecond = static_cast<std::uint8_t>(velmor);
        (*toSjis_)[velmor] = {{sjisLead, sjisTrail}, 0, velmorStop(velmorFirst, velmorSecond)};
        (*toVelmor_)[sjis] = {{velmorFirst, velmorSecond}, sjisInRange(sjisTrail), 0};
    }
}

GaijiTable parseGaijiTable(std::string_view text, std::string_view fileName) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    GaijiTable table;
    std::map<std::uint16_t, std::size_t> velmorLines, sjisLines;
    std::size_t number = 0;
    while (!text.empty() || number == 0) {
        ++number;
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        auto fail = [&](GaijiProblem problem, std::string_view field, std::size_t earlier = 0) {
            const std::string written = shown(field);
            throw EGaijiTableError(std::string(fileName) + ":" + std::to_string(number) + ": " +
                                       problemText(problem, written, earlier),
                                   std::string(fileName), number, problem, std::string(field),
                                   earlier);
        };
        line = line.substr(0, line.find('#'));
        std::string_view velmorField = takeField(line);
        if (velmorField.empty()) continue;
        std::string_view sjisField = takeField(line);
        std::optional<std::uint16_t> velmor = parseHex4(velmorField);
        if (!velmor) fail(GaijiProblem::VelmorNotHex, velmorField);
        if (sjisField.empty()) fail(GaijiProblem::NoSjisCode, sjisField);
        std::optional<std::uint16_t> sjis = parseHex4(sjisField);
        if (!sjis) fail(GaijiProblem::SjisNotHex, sjisField);
        if (auto problem = velmorPairProblem(*velmor)) fail(*problem, hex4(*velmor));
        if (auto problem = sjisCodeProblem(*sjis)) fail(*problem, hex4(*sjis));
        if (auto [at, added] = velmorLines.emplace(*velmor, number); !added) {
            fail(GaijiProblem::VelmorAgain, hex4(*velmor), at->second);
        }
        if (auto [at, added] = sjisLines.emplace(*sjis, number); !added) {
            fail(GaijiProblem::SjisAgain, hex4(*sjis), at->second);
        }
        table.add(*velmor, *sjis);
    }
    return table;
}

GaijiTable loadGaijiTable(const std::string& path) {
    TextFileRec file;
    AssignName(file, path);
    OpenRead(file);
    CheckIo(file);
    TextFileGuard guard(file);
    std::string text;
    while (!file.endOfFile) {
        const std::size_t have = text.size();
        text.resize(have + 64 * 1024);
        text.resize(have + ReadBytes(file, text.data() + have, text.size() - have));
        CheckIo(file);
    }
    CloseText(file);
    CheckIo(file);
    return parseGaijiTable(text, path);
}

}  // namespace velmor
