// The loader on any file content: the lines it gives match an independent split of
// the bytes, and load, save, load gives the same lines back.
#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/loadsave.h"
#include "fuzzcheck.h"
#include "scratch.h"

namespace {

using Lines = std::vector<std::string>;

// Lines as loading must give them: LF ends a line, every CR is dropped, a Ctrl-Z where
// a line would begin ends the file, and each line gains one space.
Lines expectedLines(std::string_view content) {
    Lines lines;
    std::size_t i = 0;
    while (i < content.size() && content[i] != '\x1a') {
        std::string line;
        for (; i < content.size() && content[i] != '\n'; ++i) {
            if (content[i] != '\r') line.push_back(content[i]);
        }
        ++i;
        lines.push_back(line + " ");
    }
    return lines;
}

Lines linesOf(const velmor::Document& doc) {
    Lines lines;
    for (std::size_t i = 0; i < doc.LineCount(); ++i) lines.emplace_back(doc.LineAt(i));
    return lines;
}

std::string describe(const Lines& lines) {
    std::string out;
    for (const auto& line : lines) out += "[" + velmor::fuzz::hexDump(line, 64) + "]\n";
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velmor::fuzz::hexDump;
    using velmor::fuzz::ScratchFolder;
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const std::string original = ScratchFolder::file("original.txt");
    const std::string saved = ScratchFolder::file("saved.txt");
    velmor::fuzz::writeBytes(original, content);

    velmor::Document doc;
    velmor::memo1set(doc, original);
    const Lines expected = expectedLines(content);
    const Lines loaded = linesOf(doc);
    FUZZ_CHECK(loaded == expected,
               "loaded:\n" + describe(loaded) + "expected:\n" + describe(expected));
    FUZZ_CHECK(doc.ModifiedMark() == !expected.empty(), "mark after loading");

    // Saving drops the appended space of each line, ends it with CR LF and adds one
    // more CR LF: the file is the content's lines as read, and no byte longer.
    velmor::memo1_get_out(doc, saved);
    std::string expectedFile;
    for (const auto& line : expected) expectedFile += line.substr(0, line.size() - 1) + "\r\n";
    expectedFile += "\r\n";
    const std::string written = velmor::fuzz::readBytes(saved);
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
    FUZZ_CHECK(ScratchFolder::entries().size() == 2, "a file beside the saved one was left");
    return 0;
}
