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
