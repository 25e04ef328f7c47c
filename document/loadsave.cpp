#include "loadsave.h"

#include <cerrno>
#include <new>

#include "errors.h"
#include "linebreaks.h"
#include "loadreport.h"
#include "outputsink.h"
#include "piecewriter.h"
#include "syscalls.h"
#include "textfile.h"

namespace velmor {

ReadPlan windowReadPlan() {
    return {4 << 20, hardwareThreads(), false};
}

void appendPiece(Document& doc, const LoadedPiece& piece) {
    if (doc.WholeText().empty() || endsWithCrLf(doc.WholeText())) {
        doc.AppendLines(piece.text, piece.lineEnds);
        return;
    }
    // After a last line without its line end, each line goes through AppendLine.
    std::size_t start = 0;
    for (std::size_t end : piece.lineEnds) {
        doc.AppendLine(std::string_view(piece.text).substr(start, end - 2 - start));
        start = end;
    }
}

void memo1set(Document& doc, const std::string& OpenFileName, ConversionReport* report,
              Progress* progress, const ReadPlan& plan) {
    TextFileRec file;
    AssignName(file, OpenFileName);
    OpenRead(file);
    CheckIo(file);
    TextFileGuard guard(file);
    tell(progress, 0);
    {
        ReadPlan readPlan = plan;
        readPlan.forReport = report != nullptr;
        PieceReader reader(file, readPlan);
        // Loading adds a space to every line and may turn LF into CR LF: room for a
        // little more than the file, and for lines of 32 bytes on average, which the
        // Document grows past only for shorter lines. Growing it costs a copy of what
        // it holds; room never used costs address space only.
        const std::size_t size = file.expectedSize;
        const std::size_t held = doc.WholeText().size() + 64;
        try {
            doc.reserve(held + size + size / 4, size / 32 + 16);
        } catch (const std::bad_alloc&) {
            doc.reserve(held + size + size / 32, 0);  // a failure here is a real lack of memory
        }
        while (const LoadedPiece* piece = reader.next()) {
            appendPiece(doc, *piece);
            if (report != nullptr && !piece->raw.empty()) {
                ConversionReport entries;
                locateLoadEntries(piece->raw, entries);
                addShifted(entries, piece->firstLine, *report);
            }
            tell(progress, piece->inputBytes);
        }
        if (report != nullptr && reader.afterEndMark()) {
            addAfterEndMark(*reader.afterEndMark(), *report);
        }
    }
    CloseText(file);
    CheckIo(file);
}

void memo1_get_out(const Document& doc, const std::string& SaveFileName, Progress* progress) {
    // A cancel is taken until the new file replaces the old one, and refused after.
    std::unique_ptr<OutputSink> sink = openFileSink(SaveFileName, -1, progress);
    const std::string& text = doc.WholeText();
    try {
        // The output is never longer than the text with a line end added and the final one.
        sink->expect(text.size() + 4);
        PieceWriter writer(*sink, progress);
        writer.writeSaved(text);
        writer.writeRaw(kFinalLineEnd);
        writer.finish();
        sink->finish();
    } catch (const EInOutError&) {
        throw;  // a failed step put the old content back, or its message says where it is
    } catch (...) {
        // Anything else that ends the save (a cancel, a lack of memory) abandons the
        // file at once, which puts old content written over back; where that fails, the
        // user learns it and where the old content is kept, rather than what ended the
        // save (a cancel would be taken for a save that never began).
        sink->abandon();
        throw;
    }
}

bool fileExists(const std::string& path) {
    struct stat st;
    if (sys::calls().stat(path.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
    // An entry that cannot be looked through (a link the kernel will not follow for
    // us) is there all the same: the save asks before it tries.
    return errno != ENOENT && errno != ENOTDIR && sys::calls().lstat(path.c_str(), &st) == 0;
}

}  // namespace velmor
