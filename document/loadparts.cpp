#include "loadparts.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hugepages.h"
#include "lineloading.h"

namespace velmor {

namespace {

// The start of every part but the first: the first line start (after an LF) at or
// after each part's share of the bytes. A long line can swallow a share, and then
// that part is dropped.
std::vector<std::size_t> fileLineStarts(std::string_view bytes, const PartCut& cut) {
    const std::size_t n = bytes.size();
    const std::size_t parts = cut.partsFor(n);
    std::vector<std::size_t> starts;
    for (std::size_t k = 1; k < parts; ++k) {
        const std::size_t from = std::max(n / parts * k, starts.empty() ? 0 : starts.back());
        const void* lf = from < n ? std::memchr(bytes.data() + from, '\n', n - from) : nullptr;
        if (lf == nullptr) break;
        const std::size_t start =
            static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data()) + 1;
        if (start >= n) break;
        if (starts.empty() || start > starts.back()) starts.push_back(start);
    }
    return starts;
}

struct Stopped {};

// A part loaded on a thread of its own: the loader's hand-overs, kept in order to be
// added to the Document after the parts before it.
struct LoadedPart {
    std::string_view bytes;
    std::size_t used = 0;
    bool droppedCr = false;
    std::string text;
    std::vector<std::uint32_t> ends;
    std::vector<std::pair<std::size_t, std::size_t>> handOvers;  // text bytes, line ends

    void load(std::atomic<std::size_t>& loaded, const std::atomic<bool>& stop) {
        text.reserve(bytes.size() + bytes.size() / 8);
        adviseHugePages(text.data(), text.capacity());
        used =
            loadWholeLines(bytes, droppedCr,
                           [&](std::string_view piece, std::span<const std::uint32_t> pieceEnds) {
                               if (stop.load(std::memory_order_relaxed)) throw Stopped();
                               text.append(piece);
                               ends.insert(ends.end(), pieceEnds.begin(), pieceEnds.end());
                               handOvers.emplace_back(piece.size(), pieceEnds.size());
                               loaded.fetch_add(piece.size(), std::memory_order_relaxed);
                           });
    }

    // Adds the part to `doc` as its hand-overs came, giving back the memory of what was
    // added a few megabytes at a time, so that the part never stands in memory twice.
    void appendTo(Document& doc) {
        constexpr std::size_t kRelease = 4 << 20;
        std::size_t at = 0, endAt = 0, released = 0;
        for (const auto& [size, count] : handOvers) {
            doc.AppendLines(std::string_view(text).substr(at, size),
                            std::span<const std::uint32_t>(ends).subspan(endAt, count));
            at += size;
            endAt += count;
            if (at - released >= kRelease) {
                releasePages(text.data(), at);
                released = at;
            }
        }
        text = std::string();
        ends = std::vector<std::uint32_t>();
    }
};

}  // namespace

std::size_t loadLinesInParts(Document& doc, std::string_view bytes, bool& droppedCr,
                             const PartCut& cut,
                             const std::function<void(std::size_t loaded)>& check) {
    const std::vector<std::size_t> starts = fileLineStarts(bytes, cut);
    std::vector<LoadedPart> parts(starts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
        parts[i].bytes = bytes.substr(starts[i], end - starts[i]);
    }
    std::atomic<std::size_t> loaded{0};
    std::atomic<bool> stop{false};
    const auto loadPart = [&parts, &loaded, &stop](std::size_t i) {
        try {
            parts[i].load(loaded, stop);
        } catch (const Stopped&) {
            // The load ended without this part; nothing of it is used.
        }
    };
    std::vector<std::future<void>> running = startOnThreads(parts.size(), loadPart);
    // Declared after `running`, so a throw stops the parts before waiting for them.
    struct StopOnExit {
        std::atomic<bool>& stop;
        ~StopOnExit() { stop.store(true, std::memory_order_relaxed); }
    } stopOnExit{stop};
    const std::string_view first = bytes.substr(0, starts.empty() ? bytes.size() : starts.front());
    std::size_t used = loadWholeLines(
        first, droppedCr, [&](std::string_view text, std::span<const std::uint32_t> ends) {
            doc.AppendLines(text, ends);
            check(loaded.fetch_add(text.size(), std::memory_order_relaxed) + text.size());
        });
    // Lines after a part that stopped short (at a line beginning with Ctrl-Z) are not
    // the file's.
    bool whole = used == first.size();
    if (!whole) stop.store(true, std::memory_order_relaxed);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        awaitOrDo(running, i, loadPart);  // one not started and not needed stops at once
        if (!whole) continue;
        LoadedPart& part = parts[i];
        part.appendTo(doc);
        droppedCr |= part.droppedCr;
        used += part.used;
        whole = part.used == part.bytes.size();
        if (!whole) stop.store(true, std::memory_order_relaxed);
        check(loaded.load(std::memory_order_relaxed));
    }
    return used;
}

}  // namespace velmor
