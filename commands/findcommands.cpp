#include "findcommands.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velmor {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::optional<std::size_t> number(std::string_view text) {
    text = trimmed(text);
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
    return value;
}

}  // namespace

std::optional<std::string> parseHexBytes(std::string_view text) {
    std::string out;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (high >= 0) return std::nullopt;  // a lone digit
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0 || out.empty()) return std::nullopt;
    return out;
}

std::vector<TextQuery> findForms(const Workspace& ws, const FindRequest& request) {
    std::vector<TextQuery> forms;
    if (request.hex) {
        if (auto bytes = parseHexBytes(request.text)) forms.push_back(TextQuery::bytes(*bytes));
        return forms;
    }
    if (request.text.empty()) return forms;
    const bool velmor = ws.state.ToVelmorDone == 1;
    const bool sjis = ws.state.ToSjisDone == 1;
    if (!velmor) forms.push_back(TextQuery::characters(request.text, TextCode::ShiftJis));
    if (!sjis) {
        forms.push_back(TextQuery::characters(request.text, TextCode::Velmor, ws.scan.tables));
    }
    return forms;
}

std::optional<TextMatch> findNearest(const Document& doc, const std::vector<TextQuery>& forms,
                                     std::size_t from, bool forward, bool& wrapped,
                                     Progress* progress) {
    wrapped = false;
    const std::size_t size = doc.TextSize();
    // Searches [low, high) with every form; each later form only up to the best so far.
    const auto search = [&](std::size_t low, std::size_t high) {
        std::optional<TextMatch> best;
        for (const TextQuery& form : forms) {
            const MatchCheck check = [&](std::size_t offset) -> std::size_t {
                if (form.anyBytes()) return form.anchor().size();
                const std::size_t line = doc.LineAtOffset(offset);
                return form.matchAt(doc.LineAt(line), offset - doc.LineOffset(line));
            };
            const std::optional<TextMatch> match =
                forward ? searchForward(doc, form.anchor(), low, best ? best->offset : high, check,
                                        progress)
                        : searchBackward(doc, form.anchor(), high, best ? best->offset + 1 : low,
                                         check, progress);
            if (match) best = match;
        }
        return best;
    };
    from = std::min(from, size);
    if (auto match = forward ? search(from, size) : search(0, from)) return match;
    wrapped = true;
    return forward ? search(0, from) : search(from, size);
}

std::optional<TextMatch> findThrough(const Document& doc, const std::vector<TextQuery>& forms,
                                     std::size_t from, bool forward, bool& wrapped,
                                     const StepRunner& runner) {
    // The line index is built here, before another thread reads the Document with the view.
    doc.LineCount();
    std::optional<TextMatch> match;
    Progress progress(doc.TextSize());
    const auto step = [&] { match = findNearest(doc, forms, from, forward, wrapped, &progress); };
    runner ? runner(StepKind::Find, progress, step) : step();
    return match;
}

std::optional<TextPlace> parseGoToPlace(std::string_view text, const Document& doc) {
    const std::size_t count = doc.LineCount();
    const std::size_t colon = text.find(':');
    const std::optional<std::size_t> line = number(text.substr(0, colon));
    std::optional<std::size_t> column = std::size_t{1};
    if (colon != std::string_view::npos) column = number(text.substr(colon + 1));
    if (!line || !column || count == 0) return std::nullopt;
    TextPlace place;
    place.line = std::min(std::max<std::size_t>(*line, 1), count) - 1;
    const std::size_t length = doc.LineAt(place.line).size();
    place.column = length == 0 ? 0 : std::min(std::max<std::size_t>(*column, 1), length) - 1;
    return place;
}

}  // namespace velmor
