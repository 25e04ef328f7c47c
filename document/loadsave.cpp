#include "loadsave.h"

#include <algorithm>
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

void appendPiece(Document& doc, LoadedPiece& piece) {
    if (doc.TextSize() == 0 || doc.endsWithLineBreak()) {
        // Every line ends in CR LF: the longest is the largest step between ends, less 2.
        const std::vector<std::size_t>& ends = piece.lineEnds;
        std::size_t step = ends.empty() ? 0 : ends[0];
        for (std::size_t i = 1; i < ends.size(); ++i) step = std::max(step, ends[i] - ends[i - 1]);
        doc.appendPiece(std::move(piece.text), ends.size(), step > 2 ? step - 2 : 0);
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
        while (LoadedPiece* piece = reader.next()) {
            const std::uint64_t bytes = piece->inputBytes;
            appendPiece(doc, *piece);
            if (report != nullptr && !piece->raw.empty()) {
                ConversionReport entries;
                locateLoadEntries(piece->raw, entries);
                addShifted(entries, piece->firstLine, *report);
            }
            tell(progress, bytes);
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
    try {
        // The output is never longer than the text with a line end added and the final one.
        sink->expect(doc.TextSize() + 4);
        PieceWriter writer(*sink, progress);
        // Every piece is whole lines: the pieces are written one after the other.
        for (std::size_t i = 0; i < doc.pieceCount(); ++i) writer.writeSaved(doc.piece(i));
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
