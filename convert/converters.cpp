// The whole-text converters: a long text is cut at line starts into parts that are
// converted at once, one per core, by the one-pass converters (velmortosjis.cpp,
// sjistovelmor.cpp), and the parts' outputs are joined.
#include "converters.h"

#include <algorithm>

#include "bytescan.h"
#include "document/hugepages.h"
#include "document/linebreaks.h"
#include "outputbuffer.h"
#include "sjistovelmor.h"
#include "velmortosjis.h"

namespace velmor {

namespace {

// Appends `part` to `out` a few megabytes at a time, giving back the memory of what
// was copied as it goes, so that the parts never stand in memory twice.
void appendReleasing(std::string& out, std::string& part) {
    constexpr std::size_t kStep = 4 << 20;
    for (std::size_t done = 0; done < part.size();) {
        std::size_t n = std::min(kStep, part.size() - done);
        out.append(part.data() + done, n);
        done += n;
        releasePages(part.data(), done);
    }
    part.clear();
}

struct Part {
    std::string_view text;
    ScanState scan;  // the state the part started from, then the state it left
    KanjiPair startPair;
    std::string out;
    PartOutcome outcome;
};

// Converts `piece` as one call of `convert` would; but with a progress to tell, in up
// to 16 slices cut at line starts, with the scan carried from slice to slice, telling
// the progress after each. Room for the whole piece is reserved first, so that no
// slice moves the output.
PartOutcome convertTelling(PartConverter convert, OutputSizeOf sizeOf, std::string_view piece,
                           ScanState& scan, std::string& out, const PartCut& cut,
                           Progress* progress) {
    if (progress == nullptr) return convert(piece, scan, out);
    constexpr std::size_t kSlices = 16;
    const std::vector<std::size_t> starts =
        partStarts(piece, {kSlices, std::max<std::size_t>(cut.minPartBytes / kSlices, 1)});
    const OutputSize size = sizeOf(piece.size());
    reserveOutput(out, size.expected, size.bound + (starts.size() + 1) * sizeOf(0).bound);
    PartOutcome whole;
    for (std::size_t i = 0, from = 0; i <= starts.size(); ++i) {
        const std::size_t to = i < starts.size() ? starts[i] : piece.size();
        const PartOutcome slice = convert(piece.substr(from, to - from), scan, out);
        tell(progress, to - from);
        // A slice depends on the piece's starting pair only while no slice before it
        // wrote a pair.
        whole.usedStartingPair |= slice.usedStartingPair && !whole.wrotePair;
        whole.wrotePair |= slice.wrotePair;
        whole.met |= slice.met;
        from = to;
    }
    return whole;
}

// Converts every part at once, the first on this thread straight into `out`, the
// others on threads of their own, each from the pair `scan` holds. Lines are
// independent but for the working pair, which a line inherits from the line before
// only through a pair alone at its end. So the parts are then walked in order: a
// part whose output depended on its starting pair, and that started from another
// pair than the one the part before left, is converted again. Returns true when any
// part met its mark.
bool convertInParts(PartConverter convert, OutputSizeOf sizeOf, std::string_view text,
                    std::span<const std::size_t> starts, ScanState& scan, std::string& out,
                    const PartCut& cut, Progress* progress) {
    std::vector<Part> parts(starts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
        parts[i].text = text.substr(starts[i], end - starts[i]);
        parts[i].scan = scan;
        parts[i].startPair = scan.kanjiPair;
    }
    const auto convertPart = [&parts, convert, sizeOf, &cut, progress](std::size_t i) {
        Part& part = parts[i];
        part.outcome =
            convertTelling(convert, sizeOf, part.text, part.scan, part.out, cut, progress);
    };
    TaskSet running(parts.size(), convertPart);
    const OutputSize size = sizeOf(text.size());
    reserveOutput(out, size.expected, size.bound);
    bool met =
        convertTelling(convert, sizeOf, text.substr(0, starts.front()), scan, out, cut, progress)
            .met;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        running.await(i);
        Part& part = parts[i];
        if (part.outcome.usedStartingPair && !(part.startPair == scan.kanjiPair)) {
            part.out.clear();
            part.scan = scan;
            part.outcome = convert(part.text, part.scan, part.out);
        }
        appendReleasing(out, part.out);
        // A part that wrote no pair leaves the pair as the part before left it.
        if (!part.outcome.wrotePair) part.scan.kanjiPair = scan.kanjiPair;
        part.scan.mayReport |= scan.mayReport;
        scan = part.scan;
        met = met || part.outcome.met;
    }
    return met;
}

bool convertWith(PartConverter convert, OutputSizeOf sizeOf, std::string_view text,
                 std::span<const std::size_t> starts, ScanState& scan, std::string& out,
                 const PartCut& cut, Progress* progress) {
    if (starts.empty()) {
        return convertTelling(convert, sizeOf, text, scan, out, cut, progress).met;
    }
    return convertInParts(convert, sizeOf, text, starts, scan, out, cut, progress);
}

}  // namespace

std::vector<std::size_t> partStarts(std::string_view text, const PartCut& cut) {
    const std::size_t n = text.size();
    const std::size_t parts = cut.partsFor(n);
    std::vector<std::size_t> starts;
    // Each part starts at the first line start at or after its share of the text;
    // a long line can swallow a share, and then that part is dropped.
    for (std::size_t k = 1; k < parts; ++k) {
        std::size_t from = std::max(n / parts * k, starts.empty() ? 0 : starts.back());
        std::size_t end = findLineEnd(text, from);
        if (end + 2 >= n) break;
        if (starts.empty() || end + 2 > starts.back()) starts.push_back(end + 2);
    }
    return starts;
}

void convertVelmorToSjisAt(std::string_view text, std::span<const std::size_t> starts,
                           ScanState& scan, std::int32_t& toSjisDone, std::string& out) {
    if (convertWith(convertPartVelmorToSjis, velmorToSjisSize, text, starts, scan, out, {},
                    nullptr)) {
        toSjisDone = 1;
    }
}

void convertSjisToVelmorAt(std::string_view text, std::span<const std::size_t> starts,
                           ScanState& scan, std::int32_t& toVelmorDone, std::string& out) {
    if (convertWith(convertPartSjisToVelmor, sjisToVelmorSize, text, starts, scan, out, {},
                    nullptr)) {
        toVelmorDone = 1;
    }
}

void convertVelmorToSjis(std::string_view text, ScanState& scan, std::int32_t& toSjisDone,
                         std::string& out, const PartCut& cut, Progress* progress) {
    if (convertWith(convertPartVelmorToSjis, velmorToSjisSize, text, partStarts(text, cut), scan,
                    out, cut, progress)) {
        toSjisDone = 1;
    }
}

void convertSjisToVelmor(std::string_view text, ScanState& scan, std::int32_t& toVelmorDone,
                         std::string& out, const PartCut& cut, Progress* progress) {
    if (convertWith(convertPartSjisToVelmor, sjisToVelmorSize, text, partStarts(text, cut), scan,
                    out, cut, progress)) {
        toVelmorDone = 1;
    }
}

std::size_t findKanjiIn(std::string_view text) {
    // A kanji-in's two bytes always lie in one line: no kanji-in second byte is a CR.
    const Byte* p = bytesOf(text);
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 17 <= n; i += 16) {
        if (const std::uint32_t starts = kanjiInStarts16(p + i); starts != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(starts));
        }
    }
    for (; i + 1 < n; ++i) {
        if (p[i] == 0x93 && isKanjiInSecond(p[i + 1])) return i;
    }
    return std::string_view::npos;
}

bool containsKanjiIn(std::string_view text) {
    return findKanjiIn(text) != std::string_view::npos;
}

}  // namespace velmor
