// The loader on any file content: the lines it gives match an independent split of
// the bytes, and load, save, load gives the same lines back.
#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/loadsave.h"
#include "fuzzcheck.h"
#include "scratch.h"
#include "support/lines.h"

namespace {

using velmor::testing::Lines;
using velmor::testing::linesOf;

std::string describe(const Lines& lines) {
    std::string out;
    for (const auto& line : lines) out += "[" + velmor::fuzz::hexDump(line, 64) + "]\n";
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velmor::fuzz::hexDump;
    using velmor::fuzz::scratch;
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const std::string original = scratch() / "original.txt";
    const std::string saved = scratch() / "saved.txt";
    velmor::testing::writeFile(original, content);

    velmor::Document doc;
    velmor::ConversionReport whole;
    velmor::memo1set(doc, original, &whole);
    const Lines expected = velmor::testing::loadedLines(content);
    const Lines loaded = linesOf(doc);
    FUZZ_CHECK(loaded == expected,
               "loaded:\n" + describe(loaded) + "expected:\n" + describe(expected));
    FUZZ_CHECK(doc.ModifiedMark() == !expected.empty(), "mark after loading");

    // Loaded in parts of a few bytes, read and split at once: the same lines and the
    // same report of what was left out.
    velmor::ConversionReport parted;
    velmor::Document inParts;
    velmor::memo1set(inParts, original, &parted, {}, {2 + size % 15, 1 + size / 16 % 32});
    FUZZ_CHECK(linesOf(inParts) == expected, "loaded in parts:\n" + describe(linesOf(inParts)));
    FUZZ_CHECK(parted.entries() == whole.entries(), "report of a load in parts");

    // Saving drops the appended space of each line, ends it with CR LF and adds one
    // more CR LF: the file is the content's lines as read, and no byte longer.
    velmor::memo1_get_out(doc, saved);
    std::string expectedFile;
    for (const auto& line : expected) expectedFile += line.substr(0, line.size() - 1) + "\r\n";
    expectedFile += "\r\n";
    const std::string written = velmor::testing::readFile(saved);
    FUZZ_CHECK(written == expectedFile, "written: " + hexDump(written));

    // Loading the saved file gives every line back, then the empty last line, except
    // that a line beginning with Ctrl-Z now ends the file.
    velmor::Document again;
    velmor::memo1set(again, saved);
    Lines reloadExpected;
    for (const auto& line : expected) {
        if (line[0] == '\x1a') break;
        reloadExpected.push_back(line);
    }
    if (reloadExpected.size() == expected.size()) reloadExpected.push_back(" ");
    const Lines reloaded = linesOf(again);
    FUZZ_CHECK(reloaded == reloadExpected,
               "reloaded:\n" + describe(reloaded) + "expected:\n" + describe(reloadExpected));
    FUZZ_CHECK(scratch().entries().size() == 2, "a file beside the saved one was left");
    return 0;
}
