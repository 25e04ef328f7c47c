// NormalizeLineBreaks and the Document's text operations on any bytes: the fast
// normalisation equals the byte-by-byte one, its result is normal and no longer than
// the rules allow, and the Document's lines always join back into its text.
#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/linebreaks.h"
#include "fuzzcheck.h"
#include "reference/reference.h"

namespace {

using velmor::Document;
using velmor::fuzz::hexDump;

// The Document's lines, read by index and by walking, must agree and join back into
// the text with CR LF.
void checkLines(const Document& doc) {
    const std::string& text = doc.WholeText();
    std::vector<std::string_view> walked;
    velmor::LineWalker walker(text);
    std::string_view line;
    while (walker.next(line)) walked.push_back(line);
    FUZZ_CHECK(doc.LineCount() == walked.size(), hexDump(text));
    std::string joined;
    for (std::size_t i = 0; i < walked.size(); ++i) {
        FUZZ_CHECK(doc.LineAt(i) == walked[i],
                   "line " + std::to_string(i) + " of " + hexDump(text));
        FUZZ_CHECK(walked[i].find("\r\n") == std::string_view::npos, hexDump(text));
        if (i > 0) joined += "\r\n";
        joined += walked[i];
    }
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) joined += "\r\n";
    FUZZ_CHECK(joined == text, "joined: " + hexDump(joined) + "\ntext: " + hexDump(text));
    FUZZ_CHECK(doc.LineAt(walked.size()).empty(), "a line past the last");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string normal = velmor::NormalizeLineBreaks(input);
    const std::string reference = velmor::normalizeLineBreaksReference(input);
    FUZZ_CHECK(normal == reference, "input: " + hexDump(input) + "\nfast: " + hexDump(normal) +
                                        "\nreference: " + hexDump(reference));
    // Only lone CRs and LFs grow, by one byte each; nothing is lost.
    FUZZ_CHECK(normal.size() >= input.size() && normal.size() <= 2 * input.size(), hexDump(input));
    FUZZ_CHECK(velmor::lineBreaksAreNormal(input) == (normal == input), hexDump(input));
    FUZZ_CHECK(velmor::lineBreaksAreNormal(normal), hexDump(normal));
    FUZZ_CHECK(velmor::NormalizeLineBreaks(normal) == normal, hexDump(normal));
    const std::size_t from = size == 0 ? 0 : data[0] % (size + 1);
    const std::size_t end = velmor::findLineEnd(input, from);
    const std::size_t found = input.find("\r\n", from);
    FUZZ_CHECK(end == (found == std::string_view::npos ? input.size() : found), hexDump(input));

    // The input as the text of a Document, then its halves appended as lines: the line
    // index must follow every change.
    Document doc;
    doc.SetModifiedMark(true);
    doc.ReplaceText(std::string(input));
    FUZZ_CHECK(doc.WholeText() == normal, hexDump(doc.WholeText()));
    FUZZ_CHECK(doc.ModifiedMark() == normal.empty(), "a changed text clears the mark");
    checkLines(doc);
    doc.ReplaceText(normal);
    FUZZ_CHECK(doc.WholeText() == normal, "replacing by the same text changed it");

    const std::size_t half = input.size() / 2;
    for (std::string_view piece : {input.substr(0, half), input.substr(half)}) {
        if (piece.find("\r\n") != std::string_view::npos) continue;
        const std::size_t linesBefore = doc.LineCount();
        const std::string before = doc.WholeText();
        doc.AppendLine(piece);
        FUZZ_CHECK(doc.ModifiedMark(), "append sets the mark");
        const bool endedWithBreak =
            before.empty() || (before.size() >= 2 && before.ends_with("\r\n"));
        const std::string expected = endedWithBreak ? before + std::string(piece) + "\r\n"
                                                    : before + "\r\n" + std::string(piece);
        FUZZ_CHECK(doc.WholeText() == expected, hexDump(doc.WholeText()));
        checkLines(doc);
        // After a line break the appended line becomes exactly one new last line.
        if (endedWithBreak) {
            FUZZ_CHECK(doc.LineCount() == linesBefore + 1, hexDump(doc.WholeText()));
            FUZZ_CHECK(doc.LineAt(linesBefore) == piece, hexDump(doc.WholeText()));
        }
    }
    return 0;
}
