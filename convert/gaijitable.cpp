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

// Why a VELMOR pair cannot be mapped, or empty when it can.
std::string velmorPairProblem(std::uint16_t pair) {
    const unsigned first = pair >> 8, second = pair & 0xFF;
    const Code2 code = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
    if (first == 0x20) return "VELMOR の組 " + hex4(pair) + " は全角空白です（先頭バイト 20）";
    for (const Code2& in : kKanjiIn) {
        if (code == in) return "VELMOR の組 " + hex4(pair) + " は漢字インの並びです";
    }
    if (code == kKanjiOut) return "VELMOR の組 " + hex4(pair) + " は漢字アウトの並びです";
    if (isControlByte(first) || isControlByte(second)) {
        return "VELMOR の組 " + hex4(pair) + " に 0A、0D、1A のバイトがあります";
    }
    return {};
}

// Why a Shift-JIS code cannot be mapped, or empty when it can.
std::string sjisCodeProblem(std::uint16_t code) {
    const unsigned lead = code >> 8, trail = code & 0xFF;
    if (!isLeadByte(static_cast<std::uint8_t>(lead))) {
        return "Shift-JIS コード " + hex4(code) + " の第 1 バイトが 81–9F、E0–FC にありません";
    }
    if (!isTrailByte(static_cast<std::uint8_t>(trail))) {
        return "Shift-JIS コード " + hex4(code) + " の第 2 バイトが 40–7E、80–FC にありません";
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
        auto fail = [&](const std::string& what) {
            throw EGaijiTableError(std::string(fileName) + ":" + std::to_string(number) + ": " +
                                   what);
        };
        if (!isUtf8(line)) fail("UTF-8 として読めないバイトがあります");
        line = line.substr(0, line.find('#'));
        std::string_view velmorField = takeField(line);
        if (velmorField.empty()) continue;
        std::string_view sjisField = takeField(line);
        std::optional<std::uint16_t> velmor = parseHex4(velmorField);
        if (!velmor) {
            fail("VELMOR の組「" + std::string(velmorField) + "」が 16 進 4 桁ではありません");
        }
        if (sjisField.empty()) fail("Shift-JIS コードがありません");
        std::optional<std::uint16_t> sjis = parseHex4(sjisField);
        if (!sjis) {
            fail("Shift-JIS コード「" + std::string(sjisField) + "」が 16 進 4 桁ではありません");
        }
        if (std::string problem = velmorPairProblem(*velmor); !problem.empty()) fail(problem);
        if (std::string problem = sjisCodeProblem(*sjis); !problem.empty()) fail(problem);
        if (auto [at, added] = velmorLines.emplace(*velmor, number); !added) {
            fail("VELMOR の組 " + hex4(*velmor) + " は " + std::to_string(at->second) +
                 " 行目にもあります");
        }
        if (auto [at, added] = sjisLines.emplace(*sjis, number); !added) {
            fail("Shift-JIS コード " + hex4(*sjis) + " は " + std::to_string(at->second) +
                 " 行目にもあります");
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
