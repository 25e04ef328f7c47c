#include "lineloading.h"

#include <cstring>
#include <memory>
#include <string>

#include "linebreaks.h"
#include "simd.h"

namespace velmor {

// Appends `piece` to `line` without its CR bytes.
void appendWithoutCr(std::string& line, const char* piece, std::size_t size) {
    while (size > 0) {
        const void* cr = std::memchr(piece, '\r', size);
        std::size_t keep = cr ? static_cast<const char*>(cr) - piece : size;
        line.append(piece, keep);
        if (!cr) break;
        piece += keep + 1;
        size -= keep + 1;
    }
}

#if VELMOR_SSE2
namespace {

// Room a block of loadBlocks may write past where its output begins: the block, two
// more bytes for each of its lines, and a copy of 64 bytes after the last one.
constexpr std::size_t kBlockRoom = 512;

inline void copy64(char* to, const char* from) {
    for (int i = 0; i < 64; i += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    }
}

// Bytes of the 64 at `in` equal to `c`, one bit each.
inline std::uint64_t mask64(const char* in, char c) {
    const __m128i cs = _mm_set1_epi8(c);
    std::uint64_t m = 0;
    for (int i = 0; i < 64; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        m |= static_cast<std::uint64_t>(
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cs))))
             << i;
    }
    return m;
}

// Loads whole lines from the line start `pos` on, 64 bytes at a time, while the
// blocks hold nothing but bytes to copy, LFs and the CRs right before them (text
// with short lines and both kinds of line end, where a branch a line on which end it
// is costs most). Each block is copied as it is; at each LF the line's end is written
// over its CR or LF, and the rest of the block copied again after it. Returns the
// line start where it stopped (a lone CR, a Ctrl-Z, the chunk or the input nearly
// full), with `w` and `e` where that line's output begins; the caller goes on there
// a line at a time.
std::size_t loadBlocks(const char* base, std::size_t pos, std::size_t usable, char*& w,
                       std::uint32_t*& e, const char* chunk, const char* roomEnd) {
    std::size_t start = pos;    // the current line's start in the input
    char* out = w;              // where that line's first byte goes
    std::uint64_t crCarry = 0;  // the last block ended with a CR (its LF opens this one)
    // Every LF a block holds lies at least 64 bytes before `usable`, so each copy
    // after a line end reads only bytes of this input.
    while (pos + 128 <= usable) {
        char* const head = out + (pos - start);
        if (head > roomEnd) break;
        const char* in = base + pos;
        const std::uint64_t lfs = mask64(in, '\n');
        const std::uint64_t crs = mask64(in, '\r');
        const std::uint64_t nextIsLf =
            (lfs >> 1) | (static_cast<std::uint64_t>(in[64] == '\n') << 63);
        if ((crs & ~nextIsLf) != 0 || mask64(in, kCtrlZ) != 0) break;
        copy64(head, in);
        const std::uint64_t crBefore = (crs << 1) | crCarry;
        for (std::uint64_t m = lfs; m != 0; m &= m - 1) {
            const auto j = static_cast<unsigned>(__builtin_ctzll(m));
            const std::size_t lf = pos + j;
            const std::size_t contentEnd = lf - ((crBefore >> j) & 1);
            char* end = out + (contentEnd - start);
            std::memcpy(end, " \r\n", 3);
            end += 3;
            *e++ = static_cast<std::uint32_t>(end - chunk);
            start = lf + 1;
            out = end;
            copy64(out, base + start);
        }
        crCarry = crs >> 63;
        pos += 64;
    }
    // Back to the start of the line not finished.
    w = out;
    return start;
}

}  // namespace
#endif

// One pass copies sixteen bytes at a time into a buffer that stays in the cache,
// stopping only at CRs and LFs; the buffer is handed over whenever it fills. Noting
// each line's end here costs a store; finding them again later costs a pass.
std::size_t loadWholeLines(std::string_view bytes, bool& droppedCr, const LoadedTake& take) {
    const char* const base = bytes.data();
    const void* lastLf = ::memrchr(base, '\n', bytes.size());
    if (lastLf == nullptr) return 0;
    const std::size_t usable =
        static_cast<std::size_t>(static_cast<const char*>(lastLf) - base) + 1;
    constexpr std::size_t kChunk = 256 * 1024;
    auto chunk = std::make_unique_for_overwrite<char[]>(kChunk);
    // A loaded line takes at least three bytes, so a chunk never holds more ends.
    auto ends = std::make_unique_for_overwrite<std::uint32_t[]>(kChunk / 3);
    char* w = chunk.get();
    std::uint32_t* e = ends.get();
    const char* const roomEnd = chunk.get() + kChunk - 19;  // a step writes at most 19 bytes
    auto handOver = [&] {
        if (w != chunk.get()) {
            take({chunk.get(), static_cast<std::size_t>(w - chunk.get())},
                 {ends.get(), static_cast<std::size_t>(e - ends.get())});
        }
        w = chunk.get();
        e = ends.get();
    };
#if VELMOR_SSE2
    const __m128i crs = _mm_set1_epi8('\r');
    const __m128i lfs = _mm_set1_epi8('\n');
#endif
    std::size_t pos = 0;
    while (pos < usable && base[pos] != kCtrlZ) {
#if VELMOR_SSE2
        pos = loadBlocks(base, pos, usable, w, e, chunk.get(), chunk.get() + kChunk - kBlockRoom);
        if (base[pos] == kCtrlZ) break;
#endif
        for (;;) {  // one line; `usable` ends with an LF, so every line here has one
            if (w > roomEnd) handOver();
#if VELMOR_SSE2
            if (pos + 16 <= bytes.size()) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + pos));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
                auto breaks = static_cast<unsigned>(_mm_movemask_epi8(
                    _mm_or_si128(_mm_cmpeq_epi8(v, crs), _mm_cmpeq_epi8(v, lfs))));
                if (breaks == 0) {
                    pos += 16;
                    w += 16;
                    continue;
                }
                const unsigned k = static_cast<unsigned>(__builtin_ctz(breaks));
                pos += k;
                w += k;
            } else
#endif
            {
                while (base[pos] != '\r' && base[pos] != '\n' && w <= roomEnd) *w++ = base[pos++];
                if (base[pos] != '\r' && base[pos] != '\n') continue;  // on in the next chunk
            }
            if (base[pos] == '\r') {  // every CR is dropped; one before the LF is its line end
                if (base[pos + 1] != '\n') {
                    droppedCr = true;
                    ++pos;
                    continue;
                }
                ++pos;
            }
            ++pos;  // the LF
            std::memcpy(w, " \r\n", 3);
            w += 3;
            *e++ = static_cast<std::uint32_t>(w - chunk.get());
            break;
        }
    }
    handOver();
    return pos;
}

}  // namespace velmor
