#include "document/document.h"

#include <gtest/gtest.h>

#include <vector>

#include "document/errors.h"
#include "document/linebreaks.h"
#include "support/bytes.h"
#include "support/lines.h"

namespace velmor {
namespace {

using testing::bytes;
using testing::Lines;
using testing::linesOf;

std::vector<std::string> walkedLines(const std::string& text) {
    std::vector<std::string> lines;
    LineWalker walker(text);
    std::string_view line;
    while (walker.next(line)) lines.emplace_back(line);
    return lines;
}

TEST(DocumentLines, AreCutAtCrLfPairsOnly) {
    struct Case {
        std::string text;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"ab", {"ab"}},
        {"ab\r\n", {"ab"}},
        {"ab\r\nc", {"ab", "c"}},
        {"ab\r\n\r\n", {"ab", ""}},
        {"\r\n", {""}},
        {"a\rb\nc\r\n", {"a\rb\nc"}},
        {"a\r\r\nb", {"a\r", "b"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(walkedLines(c.text), c.lines) << testing::hex(c.text);
        Document doc;
        doc.ReplaceText(c.text);
        if (doc.WholeText() == c.text) {  // texts without lone breaks are stored as given
            EXPECT_EQ(linesOf(doc), c.lines) << testing::hex(c.text);
        }
    }
}

TEST(DocumentLines, IndexAgreesWithWalkerOnRandomTexts) {
    auto rng = testing::seededRandom("IndexAgreesWithWalkerOnRandomTexts");
    for (int round = 0; round < 2000; ++round) {
        std::string text = testing::randomBytes(rng, rng() % 40, bytes({'a', '\r', '\n', 0x81, 0}));
        Document doc;
        doc.AppendLine(text);  // AppendLine keeps the text as given, lone breaks included
        const std::string& whole = doc.WholeText();
        EXPECT_EQ(linesOf(doc), walkedLines(whole)) << testing::hex(whole);
    }
}

// The text held in pieces of a few bytes (a piece ends at the first line end past its
// size) reads exactly as the same text in one piece, whatever built it: lines by index,
// offsets of lines and lines of offsets, chunks and the whole text; the longest line is
// known to a byte (the CR of a CR LF cut between two appends may count), and every
// piece but the last ends in CR LF.
TEST(DocumentPieces, ReadAsOneStringAtEveryBoundary) {
    auto rng = testing::seededRandom("DocumentPieces");
    const std::string alphabet = bytes({'a', '\r', '\n', '\r', '\n', 0x81, 0});
    for (int round = 0; round < 400; ++round) {
        Document pieces, whole;
        pieces.setPieceBytes(1 + rng() % 9);
        for (int step = 0; step < 6; ++step) {
            const std::string text = testing::randomBytes(rng, rng() % 30, alphabet);
            switch (rng() % 4) {
                case 0:
                    pieces.AppendLine(text);
                    whole.AppendLine(text);
                    break;
                case 1:
                    pieces.AppendText(text);
                    whole.AppendText(text);
                    break;
                case 2:
                    pieces.ReplaceText(text);
                    whole.ReplaceText(text);
                    break;
                default:
                    if (whole.TextSize() > 0 && !whole.endsWithLineBreak()) continue;
                    {
                        const std::string lines = text + "\r\n";
                        pieces.appendPiece(std::string(lines), countBreaks(lines),
                                           countLines(lines).longest);
                        whole.AppendText(lines);
                    }
            }
            const std::string where = testing::hex(whole.WholeText());
            ASSERT_EQ(pieces.WholeText(), whole.WholeText()) << where;
            ASSERT_EQ(pieces.LineCount(), whole.LineCount()) << where;
            ASSERT_EQ(linesOf(pieces), linesOf(whole)) << where;
            std::size_t longest = 0;
            for (const std::string& line : linesOf(whole)) longest = std::max(longest, line.size());
            ASSERT_GE(pieces.longestLine(), longest) << where;
            ASSERT_LE(pieces.longestLine(), longest + 1) << where;
            for (std::size_t i = 0; i <= whole.LineCount(); ++i)
                ASSERT_EQ(pieces.LineOffset(i), whole.LineOffset(i)) << where;
            std::string chunks;
            for (std::size_t at = 0; at <= whole.TextSize(); ++at) {
                ASSERT_EQ(pieces.LineAtOffset(at), whole.LineAtOffset(at)) << where << " " << at;
                if (at == chunks.size() && at < whole.TextSize()) chunks += pieces.TextChunk(at, 3);
            }
            ASSERT_EQ(chunks, whole.WholeText()) << where;
            for (std::size_t i = 0; i + 1 < pieces.pieceCount(); ++i)
                ASSERT_TRUE(endsWithCrLf(pieces.piece(i))) << where;
        }
    }
}

TEST(DocumentAppendLine, BuildsOneLinePerCallAndClearTextEmptiesIt) {
    Document doc;
    EXPECT_EQ(doc.WholeText(), "");
    EXPECT_EQ(doc.LineCount(), 0u);
    EXPECT_FALSE(doc.ModifiedMark());

    doc.AppendLine("ab");
    doc.AppendLine("cd");
    EXPECT_EQ(doc.WholeText(), "ab\r\ncd\r\n");
    EXPECT_EQ(doc.LineCount(), 2u);
    EXPECT_TRUE(doc.ModifiedMark());

    // ClearText empties the text and the mark.
    doc.ClearText();
    EXPECT_TRUE(doc.WholeText().empty() && doc.LineCount() == 0 && !doc.ModifiedMark());
}

TEST(DocumentAppendLine, EmptyLines) {
    Document empty;
    empty.AppendLine("");
    EXPECT_EQ(empty.WholeText(), "\r\n");
    EXPECT_EQ(empty.LineCount(), 1u);

    // A text without a final break gets only the break that ends its last line.
    Document open;
    open.ReplaceText("ab");
    open.AppendLine("");
    EXPECT_EQ(open.WholeText(), "ab\r\n");
    EXPECT_EQ(open.LineCount(), 1u);

    open.AppendLine("c");
    EXPECT_EQ(open.WholeText(), "ab\r\nc\r\n");
}

TEST(DocumentAppendLine, KeepsNulAndSplitsAtCrLf) {
    Document doc;
    doc.AppendLine("ab");
    doc.AppendLine(bytes({'c', 0, 'd'}));
    doc.AppendLine("x\r\ny");
    EXPECT_EQ(doc.WholeText(), bytes({'a', 'b', '\r', '\n', 'c', 0, 'd', '\r', '\n', 'x', '\r',
                                      '\n', 'y', '\r', '\n'}));
    EXPECT_EQ(linesOf(doc), (Lines{"ab", bytes({'c', 0, 'd'}), "x", "y"}));
}

TEST(DocumentAppendLine, KeepsTheIndexUpToDate) {
    Document doc;
    doc.AppendLine("a");
    EXPECT_EQ(doc.LineCount(), 1u);  // builds the index
    doc.AppendLine("b\r\nc");
    doc.AppendLine("");
    Document fresh;
    fresh.ReplaceText(doc.WholeText());
    EXPECT_EQ(linesOf(doc), (Lines{"a", "b", "c", ""}));
    EXPECT_EQ(linesOf(doc), linesOf(fresh));
}

TEST(DocumentLineAt, ReturnsWholeLongLinesAndNothingPastTheEnd) {
    Document doc;
    std::string longLine(70000, 'x');
    longLine[5000] = 'y';
    doc.AppendLine(longLine);
    doc.AppendLine("z");
    EXPECT_EQ(doc.LineCount(), 2u);
    EXPECT_EQ(doc.LineAt(0), longLine);
    EXPECT_EQ(doc.LineAt(1), "z");
    EXPECT_EQ(doc.LineAt(2), "");
}

TEST(DocumentReplaceText, MarkFollowsWhetherTheTextChanged) {
    Document doc;
    doc.AppendLine("ab");
    ASSERT_TRUE(doc.ModifiedMark());
    doc.ReplaceText("ab\r\n");  // unchanged: the mark stays true
    EXPECT_TRUE(doc.ModifiedMark());
    doc.ReplaceText("ab");  // differs only by the final break: replaced, mark cleared
    EXPECT_EQ(doc.WholeText(), "ab");
    EXPECT_FALSE(doc.ModifiedMark());
    doc.SetModifiedMark(true);
    doc.ReplaceText("ab\r");  // normalises to a different text
    EXPECT_EQ(doc.WholeText(), "ab\r\n");
    EXPECT_FALSE(doc.ModifiedMark());
}

TEST(DocumentReplaceText, NormalisesBreaksAndKeepsNul) {
    Document doc;
    doc.ReplaceText("ab\ncd\ref\r\n");
    EXPECT_EQ(doc.WholeText(), "ab\r\ncd\r\nef\r\n");
    EXPECT_EQ(doc.LineCount(), 3u);

    doc.ReplaceText(bytes({'a', 0, 'b', '\r', '\n', 'c', '\r', '\n'}));
    EXPECT_EQ(doc.LineCount(), 2u);
    EXPECT_EQ(doc.LineAt(0), bytes({'a', 0, 'b'}));

    // A lead byte takes the LF after it as its second byte: one line of two bytes.
    doc.ReplaceText(bytes({0x81, '\n', '\r', '\n'}));
    EXPECT_EQ(doc.LineCount(), 1u);
    EXPECT_EQ(doc.LineAt(0), bytes({0x81, '\n'}));
}

TEST(DocumentReplaceText, FailsWithoutChangeWhenStorageRefuses) {
    Document doc;
    doc.AppendLine("ab");
    doc.setStorageLimit(8);
    try {
        doc.ReplaceText("123456789");
        FAIL() << "expected EInvalidOperation";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "文字列の大きさが メモ の制限を越えました");
    }
    EXPECT_EQ(doc.WholeText(), "ab\r\n");
    EXPECT_TRUE(doc.ModifiedMark());
    doc.ReplaceText("12345678");
    EXPECT_EQ(doc.WholeText(), "12345678");
}

}  // namespace
}  // namespace velmor
