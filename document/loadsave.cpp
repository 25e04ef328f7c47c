#include "loadsave.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "backgroundwriter.h"
#include "errors.h"
#include "linebreaks.h"
#include "loadreport.h"
#include "syscalls.h"
#include "textfile.h"

namespace velmor {

namespace {

// Counts LF bytes. This runs over the whole file before loading and must cost little
// beside the load: with SSE2, sixteen bytes at a time into byte counters that are
// summed before they can overflow; elsewhere eight at a time, a zero byte of
// w ^ LFs marking an LF.
std::size_t countLineFeeds(std::string_view bytes) {
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lfs = _mm_set1_epi8('\n');
    while (i + 16 <= bytes.size()) {
        __m128i counters = _mm_setzero_si128();
        const std::size_t blockEnd = std::min(bytes.size() - 15, i + 255 * 16);
        for (; i < blockEnd; i += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
            counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(v, lfs));  // a match is -1
        }
        __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
#else
    constexpr std::uint64_t k7f = 0x7f7f7f7f7f7f7f7fULL;
    constexpr std::uint64_t kLineFeeds = 0x0a0a0a0a0a0a0a0aULL;
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        std::uint64_t x = word ^ kLineFeeds;
        std::uint64_t zeroHighBits = ~(((x & k7f) + k7f) | x | k7f);  // 0x80 where x's byte is 0
        count += ((zeroHighBits >> 7) * kOnes) >> 56;
    }
#endif
    for (; i < bytes.size(); ++i) count += bytes[i] == '\n';
    return count;
}

// Makes room in `doc` for loading `bytes`. Every line gains a space and a CR LF but
// loses its LF, so the text grows by at most two bytes per LF, three for a last line
// without one, and two for ending the Document's last line; there is at most one line
// more than LFs, and one for the Document's unended last line.
void reserveForLoad(Document& doc, std::string_view bytes) {
    const std::size_t lineFeeds = countLineFeeds(bytes);
    doc.reserve(doc.WholeText().size() + 2 + bytes.size() + 2 * lineFeeds + 3, lineFeeds + 2);
}

// Bytes of the line end just before `end` in the file: LF, CR LF, or none at the end.
std::size_t lineEndBefore(std::string_view file, std::size_t end) {
    if (end == 0 || file[end - 1] != '\n') return 0;
    return end > 1 && file[end - 2] == '\r' ? 2 : 1;
}

}  // namespace

// Lines loaded between two calls of a StepCheck: rare enough to cost nothing.
constexpr std::size_t kLinesPerCheck = 4096;

void memo1set(Document& doc, const std::string& OpenFileName, ConversionReport* report,
              const StepCheck& check, const PartCut& cut) {
    TextFileRec file;
    AssignName(file, OpenFileName);
    file.readCut = cut;
    OpenRead(file);
    CheckIo();
    TextFileGuard guard(file);
    std::string line;  // reused for every line, so reading allocates only for the longest
    bool atEnd = AtEnd(file);
    CheckIo();
    // The first end test read the file into the buffer; it is the whole file unless
    // the file grew meanwhile.
    const std::string_view whole = BufferedText(file);
    const bool wholeFile = file.endOfFile;
    if (!atEnd) reserveForLoad(doc, whole);
    std::size_t pos = 0;  // where the next line starts in the file
    bool droppedCr = false;
    if (check) check(0);
    std::size_t lines = 0;
    while (!atEnd) {
        if (doc.WholeText().empty() || endsWithCrLf(doc.WholeText())) {
            // Progress is told in bytes of the Document's text, as line by line below.
            const std::size_t before = doc.WholeText().size();
            const std::size_t used =
                loadLinesInParts(doc, BufferedText(file), droppedCr, cut, [&](std::size_t loaded) {
                    if (check) check(before + loaded);
                });
            if (used > 0) {
                ConsumeBuffered(file, used);
                pos = whole.size() - BufferedText(file).size();
                atEnd = AtEnd(file);
                CheckIo();
                continue;
            }
        }
        ReadTextLine(file, line);
        CheckIo();
        // A line that took more bytes than it and its line end hold lost a lone CR.
        std::size_t end = whole.size() - BufferedText(file).size();
        droppedCr |= end - pos > line.size() + lineEndBefore(whole, end);
        pos = end;
        line.push_back(' ');
        doc.AppendLine(line);
        if (check && ++lines % kLinesPerCheck == 0) check(doc.WholeText().size());
        atEnd = AtEnd(file);
        CheckIo();
    }
    // What is left unread starts with the end mark; anything after it was not loaded.
    const bool afterEndMark = BufferedText(file).size() > 1;
    if (report != nullptr && wholeFile && (droppedCr || afterEndMark)) {
        locateLoadEntries(whole, *report);
    }
    CloseText(file);
    CheckIo();
}

namespace {

// Writes `text` in its saved form to the open `file` and closes it.
void writeSaved(TextFileRec& file, const std::string& text, const StepCheck& check) {
    // The file is written a chunk at a time from two buffers that stay in the cache,
    // one written on a thread of its own while the next is put together.
    constexpr std::size_t kChunk = 1 << 20;
    // Declared first, so that the writer has stopped before they go.
    std::unique_ptr<char[]> chunks[2] = {std::make_unique_for_overwrite<char[]>(kChunk),
                                         std::make_unique_for_overwrite<char[]>(kChunk)};
    BackgroundWriter writer(file, text.size() > 2 * kChunk);
    // A write that failed while the user cancelled is what the user learns.
    const auto step = [&](std::size_t done) {
        try {
            check(done);
        } catch (const EAbort&) {
            writer.wait();
            CheckIo();
            throw;
        }
    };
    // The output is never longer than the text with a line end added and the final one.
    ClaimSpace(file, text.size() + 4);
    int current = 0;
    char* w = chunks[0].get();
    // A step writes sixteen bytes, then perhaps a line end's two.
    const auto roomEnd = [&] { return chunks[current].get() + kChunk - 18; };
    // A space last in a chunk is held back for the next one: it is dropped should the
    // line end follow.
    const auto writeChunk = [&] {
        char* const start = chunks[current].get();
        const bool holdSpace = w != start && w[-1] == ' ';
        writer.write(std::string_view(start, static_cast<std::size_t>(w - start - holdSpace)));
        current ^= 1;
        w = chunks[current].get();
        if (holdSpace) *w++ = ' ';
    };
    const char* const p = text.data();
    const std::size_t n = text.size();
    std::size_t pos = 0, lineStart = 0;
    // Only the space that loading appended is dropped: any other last byte may be the
    // second half of a double-byte character.
    const auto endLine = [&](std::size_t end) {
        if (end > lineStart && p[end - 1] == ' ') --w;
        std::memcpy(w, "\r\n", 2);
        w += 2;
    };
    if (check) step(0);
    // Sixteen bytes at a time, stopping only at CRs: lines are short in most text, and
    // one library call or two per line cost more than the copying.
    while (pos < n) {
        if (w > roomEnd()) {
            writeChunk();
            if (PendingIoError != 0) break;  // a failed write: nothing more is written
            if (check) step(pos);
        }
#if defined(__SSE2__)
        if (pos + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
            const auto crs =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
            const unsigned k = crs == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(crs));
            pos += k;
            w += k;
            if (crs == 0) continue;
        } else
#endif
        {
            while (pos < n && p[pos] != '\r' && w <= roomEnd()) *w++ = p[pos++];
            if (pos == n || p[pos] != '\r') continue;
        }
        if (pos + 1 < n && p[pos + 1] == '\n') {  // a line's end
            endLine(pos);
            pos += 2;
            lineStart = pos;
        } else {
            *w++ = '\r';
            ++pos;
        }
    }
    if (lineStart < n && PendingIoError == 0) endLine(n);  // a last line without its end
    writeChunk();
    writer.write("\r\n");  // the final line end
    writer.wait();
    CheckIo();
    CloseText(file);
    CheckIo();
}

}  // namespace

void memo1_get_out(const Document& doc, const std::string& SaveFileName, const StepCheck& check) {
    TextFileRec file;
    AssignName(file, SaveFileName);
    OpenWrite(file);
    CheckIo();
    TextFileGuard guard(file);
    try {
        writeSaved(file, doc.WholeText(), check);
    } catch (const EInOutError&) {
        throw;  // a failed step put the old content back, or its message says where it is
    } catch (...) {
        // Anything else that ends the save (a cancel, a lack of memory) abandons the
        // file at once, which puts old content written over back; where that fails, the
        // user learns it and where the old content is kept, rather than what ended the
        // save (a cancel would be taken for a save that never began).
        AbandonText(file);
        if (file.old.restoreFailure != 0) {
            throwIoFailure(file.old.restoreFailure, file.old.keptCopy);
        }
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
