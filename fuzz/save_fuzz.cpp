// The writer on a Document built from any bytes, saved over an existing file: the file
// holds exactly each line without the space loading appended, CR LF after each and one
// more at the end; nothing else is left in the folder; and lines that a load can give
// come back whole when the file is loaded.
#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/loadsave.h"
#include "fuzzcheck.h"
#include "scratch.h"
#include "support/lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velmor::fuzz::hexDump;
    using velmor::fuzz::scratch;
    velmor::fuzz::InputReader in(data, size);
    const std::uint8_t control = in.byte();
    const std::string target = scratch() / "target.txt";
    // Half the inputs save over an existing file, which must be replaced whole.
    if (control & 1) {
        velmor::testing::writeFile(target, in.take(control));
    } else {
        std::filesystem::remove(target);
    }

    velmor::Document doc;
    doc.ReplaceText(std::string(in.rest()));
    velmor::memo1_get_out(doc, target);

    std::string expected;
    bool reloadable = true;
    std::vector<std::string> expectedLines;
    for (std::size_t i = 0; i < doc.LineCount(); ++i) {
        std::string_view line = doc.LineAt(i);
        if (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        expected += std::string(line) + "\r\n";
        expectedLines.push_back(std::string(line) + " ");
        // A load drops every CR, ends a line at every LF and stops at a Ctrl-Z where a
        // line begins: such lines cannot come back whole.
        if (line.find_first_of("\r\n") != std::string_view::npos || line.starts_with('\x1a')) {
            reloadable = false;
        }
    }
    expected += "\r\n";
    expectedLines.push_back(" ");
    const std::string written = velmor::testing::readFile(target);
    FUZZ_CHECK(written == expected,
               "text: " + hexDump(doc.WholeText()) + "\nwritten: " + hexDump(written));
    FUZZ_CHECK(scratch().entries() == std::set<std::string>{"target.txt"},
               "a file beside the target was left");

    velmor::Document reloaded;
    velmor::memo1set(reloaded, target);
    if (!reloadable) return 0;
    FUZZ_CHECK(
        velmor::testing::linesOf(reloaded) == expectedLines,
        "text: " + hexDump(doc.WholeText()) + "\nreloaded: " + hexDump(reloaded.WholeText()));
    return 0;
}
