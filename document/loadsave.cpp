#include "loadsave.h"

#include <algorithm>

#include "syscalls.h"
#include "textfile.h"

namespace velmor {

namespace {

// An upper bound of the text after loading `bytes` into `doc`: every line gains a
// space and a CR LF but loses its LF, so the text grows by at most two bytes per LF,
// three for a last line without one, and two for ending the Document's last line.
std::size_t loadedTextBound(const Document& doc, std::string_view bytes) {
    std::size_t lineFeeds = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    return doc.WholeText().size() + 2 + bytes.size() + 2 * lineFeeds + 3;
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
