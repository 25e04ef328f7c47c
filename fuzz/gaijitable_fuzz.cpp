// The gaiji table's parser on any bytes: every input either parses into a table that
// maps both ways, with one mapping for every line that holds one (no line is skipped
// unseen), or is refused at a line that holds one, with a reason; the lines before
// it parse.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/gaijitable.h"
#include "document/codepage932.h"
#include "fuzzcheck.h"

namespace {

using velmor::fuzz::hexDump;

// The input's lines as the table format defines them, told apart independently of
// the parser: a line holds a mapping when anything but blanks stands before its '#'.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (;;) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return lines;
        text.remove_prefix(end + 1);
        if (text.empty()) return lines;
    }
}

bool holdsMapping(std::string_view line) {
    line = line.substr(0, line.find('#'));
    return line.find_first_not_of(" \t\r\v\f") != std::string_view::npos;
}

void checkTable(const velmor::GaijiTable& table, std::string_view input) {
    const auto& toSjis = table.velmorToSjis();
    const auto& toVelmor = table.sjisToVelmor();
    FUZZ_CHECK(toSjis.size() == toVelmor.size(), hexDump(input));
    const velmor::GaijiPairTables pairs(table);
    const velmor::PairTables tables = pairs.tables();
    for (auto [velmor, sjis] : toSjis) {
        FUZZ_CHECK(toVelmor.count(sjis) == 1 && toVelmor.at(sjis) == velmor, hexDump(input));
        FUZZ_CHECK((velmor >> 8) != 0x20, hexDump(input));
        FUZZ_CHECK(velmor::isLeadByte(static_cast<std::uint8_t>(sjis >> 8)) &&
                       velmor::isTrailByte(static_cast<std::uint8_t>(sjis)),
                   hexDump(input));
        const auto& out = (*tables.toSjis)[velmor];
        FUZZ_CHECK(out.bytes[0] == (sjis >> 8) && out.bytes[1] == (sjis & 0xFF), hexDump(input));
        const auto& back = (*tables.toVelmor)[sjis];
        FUZZ_CHECK(
            back.inRange && back.bytes[0] == (velmor >> 8) && back.bytes[1] == (velmor & 0xFF),
            hexDump(input));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view text = input;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const std::vector<std::string_view> lines = linesOf(text);
    std::size_t mappings = 0;
    for (std::string_view line : lines) mappings += holdsMapping(line);
    try {
        const velmor::GaijiTable table = velmor::parseGaijiTable(input, "t.tsv");
        FUZZ_CHECK(table.size() == mappings, "a line skipped: " + hexDump(input));
        checkTable(table, input);
    } catch (const velmor::EGaijiTableError& error) {
        FUZZ_CHECK(error.Line >= 1 && error.Line <= lines.size(), hexDump(input));
        FUZZ_CHECK(holdsMapping(lines[error.Line - 1]), "refused a blank line: " + hexDump(input));
        FUZZ_CHECK(error.message().starts_with("t.tsv:" + std::to_string(error.Line) + ": ") &&
                       error.message().size() > 8 + std::to_string(error.Line).size(),
                   hexDump(input));
        const bool again = error.Problem == velmor::GaijiProblem::VelmorAgain ||
                           error.Problem == velmor::GaijiProblem::SjisAgain;
        FUZZ_CHECK(again == (error.EarlierLine != 0) && error.EarlierLine < error.Line,
                   hexDump(input));
        // Everything before the refused line parses.
        std::size_t before = 0;
        for (std::size_t i = 0; i + 1 < error.Line; ++i) before += lines[i].size() + 1;
        const std::string_view head = text.substr(0, before);
        std::size_t headMappings = 0;
        for (std::size_t i = 0; i + 1 < error.Line; ++i) headMappings += holdsMapping(lines[i]);
        const velmor::GaijiTable table = velmor::parseGaijiTable(head, "t.tsv");
        FUZZ_CHECK(table.size() == headMappings, hexDump(input));
    }
    return 0;
}
