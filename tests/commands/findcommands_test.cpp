// The find and 行へ移動 as the window uses them: bytes anywhere (against a plain search
// of the whole text, across the search windows and line ends), characters where they
// begin in either code, and the places typed.
#include "commands/findcommands.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

namespace velmor {
namespace {

using testing::bytes;

// The nearest place of `pattern` in `text` as a plain search of the whole string finds it.
std::optional<std::size_t> plainFind(const std::string& text, const std::string& pattern,
                                     std::size_t from, bool forward) {
    std::size_t at = forward ? text.find(pattern, from)
                             : (from == 0 ? std::string::npos : text.rfind(pattern, from - 1));
    if (at == std::string::npos) at = forward ? text.find(pattern) : text.rfind(pattern);
    if (at == std::string::npos) return std::nullopt;
    return at;
}

std::optional<std::size_t> find(const Document& doc, const std::vector<TextQuery>& forms,
                                std::size_t from, bool forward = true) {
    bool wrapped = false;
    const std::optional<TextMatch> match = findNearest(doc, forms, from, forward, wrapped);
    if (!match) return std::nullopt;
    return match->offset;
}

Workspace withText(const std::string& text) {
    Workspace ws;
    ws.document.ReplaceText(text);
    return ws;
}

TEST(Find, BytesAnywhereAsAPlainSearchFindsThem) {
    auto rng = testing::seededRandom("Find.BytesAnywhere");
    const std::string rare = bytes({0x93, 0x70, '\r', '\n', ' '});
    for (int round = 0; round < 40; ++round) {
        const std::string pattern = testing::randomBytes(rng, 2 + rng() % 3, rare);
        // Mostly one byte, so that matches are few; some lines longer than a search
        // window; the pattern put across a few window edges.
        std::string text;
        const std::size_t size = 1000 + rng() % (3 * kSearchWindow);
        while (text.size() < size) {
            text += testing::randomBytes(rng, 1 + rng() % (round % 2 ? 90000 : 60),
                                         std::string(250, 'a') + rare);
            text += "\r\n";
        }
        for (std::size_t edge = kSearchWindow; edge + 8 < text.size(); edge += kSearchWindow) {
            if (rng() % 2) text.replace(edge - 1 - rng() % pattern.size(), pattern.size(), pattern);
        }
        Document doc;
        doc.AppendText(text);  // as it is: a lone CR or LF stays where it was put
        const std::string& held = doc.WholeText();
        const std::vector<TextQuery> forms{TextQuery::bytes(pattern)};
        for (int probe = 0; probe < 20; ++probe) {
            const std::size_t from = rng() % (held.size() + 1);
            for (bool forward : {true, false}) {
                ASSERT_EQ(find(doc, forms, from, forward), plainFind(held, pattern, from, forward))
                    << "round " << round << " pattern " << testing::hex(pattern) << " from " << from
                    << (forward ? " forward" : " backward");
            }
        }
    }
}

TEST(Find, MatchOnTheEdgeOfASearchWindowAndAcrossALineEnd) {
    // 93 70 with its 93 the last byte of the first window; then 20 0D 0A 41 over a line end.
    const std::string text = std::string(kSearchWindow - 1, 'x') + bytes({0x93, 0x70}) + " \r\nA";
    Workspace ws = withText(text);
    bool wrapped = false;
    const std::vector<TextQuery> kanjiIn = findForms(ws, {"93 70", true});
    EXPECT_EQ(findNearest(ws.document, kanjiIn, 0, true, wrapped),
              (TextMatch{kSearchWindow - 1, 2}));
    EXPECT_EQ(findNearest(ws.document, kanjiIn, text.size(), false, wrapped),
              (TextMatch{kSearchWindow - 1, 2}));
    EXPECT_EQ(findNearest(ws.document, findForms(ws, {"200d0a41", true}), 5, true, wrapped),
              (TextMatch{kSearchWindow + 1, 4}));
    // From past the last match the search goes on from the start, and says so.
    EXPECT_EQ(findNearest(ws.document, kanjiIn, kSearchWindow, true, wrapped)->offset,
              kSearchWindow - 1);
    EXPECT_TRUE(wrapped);
}

TEST(Find, ShiftJisCharactersOnlyWhereCharactersBegin) {
    // 82 A0 is あ in the second line, but the trail of 88 82 and a lone A0 in the first.
    Workspace ws = withText(bytes({0x88, 0x82, 0xA0, ' ', '\r', '\n', 'A', 0x82, 0xA0, ' '}));
    ws.state.ToSjisDone = 1;
    const std::vector<TextQuery> forms = findForms(ws, {bytes({0x82, 0xA0}), false});
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_EQ(find(ws.document, forms, 0), 7u);
    EXPECT_EQ(forms[0].matchesIn(ws.document.LineAt(0)).size(), 0u);
    // The same bytes as hex are found wherever they stand.
    EXPECT_EQ(find(ws.document, findForms(ws, {"82A0", true}), 0), 1u);
}

TEST(Find, VelmorCharactersInsideRunsWhateverShiftsStandBetween) {
    // B0 A1 outside a run is half-width katakana; inside one it is 亜. Then あ, a
    // kanji-out, A; an ideographic space as 20 41; a second run opened by 93 74.
    const std::string line = bytes({0xB0, 0xA1, 0x93, 0x70, 0xB0, 0xA1, 0xA4, 0xA2, 0x93, 0xF1,
                                    'A',  0x93, 0x74, 0x20, 0x41, 0xB0, 0xA1, 0x93, 0xF1, ' '});
    Workspace ws = withText(std::string(kSearchWindow - 3, 'x') + "\r\n" + line + "\r\n");
    ws.state.ToVelmorDone = 1;
    const std::size_t start = kSearchWindow - 1;  // the line's first byte
    const auto at = [&](const std::string& sjis, std::size_t from = 0) {
        const std::vector<TextQuery> forms = findForms(ws, {sjis, false});
        EXPECT_EQ(forms.size(), 1u);
        bool wrapped = false;
        const std::optional<TextMatch> match = findNearest(ws.document, forms, from, true, wrapped);
        return match ? std::optional<TextMatch>{{match->offset - start, match->length}}
                     : std::nullopt;
    };
    EXPECT_EQ(at(bytes({0x88, 0x9F})), (TextMatch{4, 2}));                    // 亜
    EXPECT_EQ(at(bytes({0x88, 0x9F}), start + 5), (TextMatch{15, 2}));        // the next 亜
    EXPECT_EQ(at(bytes({0x82, 0xA0, 'A'})), (TextMatch{6, 5}));               // あ KO A
    EXPECT_EQ(at(bytes({'A', 0x81, 0x40, 0x88, 0x9F})), (TextMatch{10, 7}));  // A KI 　亜
    EXPECT_EQ(at(bytes({0xB0, 0xA1})), (TextMatch{0, 2}));                    // ｰ｡ outside
    EXPECT_FALSE(at(bytes({0x82, 0xA0, 0x88, 0x9F})));                        // あ亜: not there
}

TEST(Find, CodeFollowsTheConversionsAndBothWhileAsOpened) {
    Workspace ws = withText(
        bytes({0x88, 0x9F, ' ', '\r', '\n', 0x93, 0x70, 0xB0, 0xA1, 0x93, 0xF1, ' ', '\r', '\n'}));
    const FindRequest kanji{bytes({0x88, 0x9F}), false};
    EXPECT_EQ(findForms(ws, kanji).size(), 2u);
    EXPECT_EQ(find(ws.document, findForms(ws, kanji), 1), 7u);  // as VELMOR, in line 2
    ws.state.ToSjisDone = 1;
    EXPECT_EQ(find(ws.document, findForms(ws, kanji), 1), 0u);  // as Shift-JIS only: wraps
    ws.state.ToSjisDone = 0;
    ws.state.ToVelmorDone = 1;
    EXPECT_EQ(find(ws.document, findForms(ws, kanji), 0), 7u);
    EXPECT_TRUE(findForms(ws, {"9", true}).empty());
}

TEST(Find, HexAndPlacesAsTyped) {
    EXPECT_EQ(parseHexBytes("93 70"), bytes({0x93, 0x70}));
    EXPECT_EQ(parseHexBytes(" 9370\tf1 "), bytes({0x93, 0x70, 0xF1}));
    for (const char* bad : {"", " ", "9 370", "93 7", "0x93", "zz"})
        EXPECT_FALSE(parseHexBytes(bad));

    Document doc;
    doc.ReplaceText("abc \r\nde \r\n");
    EXPECT_EQ(parseGoToPlace("2", doc), (TextPlace{1, 0}));
    EXPECT_EQ(parseGoToPlace(" 1 : 3 ", doc), (TextPlace{0, 2}));
    EXPECT_EQ(parseGoToPlace("9:99", doc), (TextPlace{1, 2}));  // past the end: the last
    EXPECT_EQ(parseGoToPlace("0", doc), (TextPlace{0, 0}));
    for (const char* bad : {"", "x", "1:", ":2", "-1"}) EXPECT_FALSE(parseGoToPlace(bad, doc));
    EXPECT_FALSE(parseGoToPlace("1", Document()));

    // Offsets in the saved file: each line loses its last space, unless it has none.
    doc.ReplaceText("ab \r\ncd\r\nef \r\n");
    EXPECT_EQ(SavedOffsets(doc, false).offset({2, 1}), 9u);  // ab CR LF cd CR LF e f
    EXPECT_EQ(SavedOffsets(doc, true).offset({2, 1}), 8u);   // as if every line had its space
}

}  // namespace
}  // namespace velmor
