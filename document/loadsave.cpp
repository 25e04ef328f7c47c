#include "loadsave.h"

#include <cstdint>
#include <cstring>

#include "hugepages.h"
#include "syscalls.h"
#include "textfile.h"

namespace velmor {

namespace {

// Counts LF bytes eight at a time: a zero byte of w ^ LFs marks an LF. This runs
// over the whole file before loading and must cost little beside the load.
std::size_t countLineFeeds(std::string_view bytes) {
    constexpr std::uint64_t k7f = 0x7f7f7f7f7f7f7f7fULL;
    constexpr std::uint64_t kLineFeeds = 0x0a0a0a0a0a0a0a0aULL;
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    std::size_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        std::uint64_t x = word ^ kLineFeeds;
        std::uint64_t zeroHighBits = ~(((x & k7f) + k7f) | x | k7f);  // 0x80 where x's byte is 0
        count += ((zeroHighBits >> 7) * kOnes) >> 56;
    }
    for (; i < bytes.size(); ++i) count += bytes[i] == '\n';
    return count;
}

// An upper bound of the text after loading `bytes` into `doc`: every line gains a
// space and a CR LF but loses its LF, so the text grows by at most two bytes per LF,
// three for a last line without one, and two for ending the Document's last line.
std::size_t loadedTextBound(const Document& doc, std::string_view bytes) {
    return doc.WholeText().size() + 2 + bytes.size() + 2 * countLineFeeds(bytes) + 3;
}

}  // namespace

void memo1set(Document& doc, const std::string& OpenFileName) {
    TextFileRec file;
    AssignName(file, OpenFileName);
    OpenRead(file);
    CheckIo();
    TextFileGuard guard(file);
    std::string line;  // reused for every line, so reading allocates only for the longest
    bool reserved = false;
    for (;;) {
        bool atEnd = AtEnd(file);
        CheckIo();
        if (atEnd) break;
        if (!reserved) {
            doc.reserve(loadedTextBound(doc, BufferedText(file)));
            reserved = true;
        }
        ReadTextLine(file, line);
        CheckIo();
        line.push_back(' ');
        doc.AppendLine(line);
    }
    CloseText(file);
    CheckIo();
}

void memo1_get_out(const Document& doc, const std::string& SaveFileName) {
    TextFileRec file;
    AssignName(file, SaveFileName);
    OpenWrite(file);
    CheckIo();
    TextFileGuard guard(file);
    const std::string& text = doc.WholeText();
    std::string output;
    output.reserve(text.size() + 2);  // a last line without CR LF gains one
    adviseHugePages(output.data(), output.capacity());
    LineWalker lines(text);
    std::string_view line;
    while (lines.next(line)) {
        // Only the space that loading appended is dropped: any other last byte may be
        // the second half of a double-byte character.
        if (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        output.append(line);
        output.append("\r\n", 2);
    }
    WriteTextLine(file, output);
    CheckIo();
    CloseText(file);
    CheckIo();
}

bool fileExists(const std::string& path) {
    struct stat st;
    return sys::calls().stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace velmor
