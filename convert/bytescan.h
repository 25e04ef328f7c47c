#pragma once

#include <cstdint>
#include <cstring>

#include "document/simd.h"
#include "kanjicode.h"

namespace velmor {

// Sixteen-byte steps of the converters' inner loops. With SSE2 (every x86-64) each
// is a few instructions; elsewhere a plain loop gives the same results.

// Bit i set when byte i of the 16 at p is 0x80 or above.
inline std::uint32_t highBytes16(const std::uint8_t* p) {
#if VELMOR_SSE2
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
#else
    std::uint32_t mask = 0;
    for (int i = 0; i < 16; ++i) mask |= static_cast<std::uint32_t>(p[i] >> 7) << i;
    return mask;
#endif
}

// Bit i set when byte i of the 16 at p is `b`.
inline std::uint32_t byteHits16(const std::uint8_t* p, std::uint8_t b) {
#if VELMOR_SSE2
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                         _mm_set1_epi8(static_cast<char>(b)))));
#else
    std::uint32_t mask = 0;
    for (int i = 0; i < 16; ++i) mask |= static_cast<std::uint32_t>(p[i] == b) << i;
    return mask;
#endif
}

// Copies 16 bytes from p to q.
inline void copy16(char* q, const std::uint8_t* p) {
    std::memcpy(q, p, 16);
}

// Bit i set when bytes i and i + 1 at p are one of the four kanji-in sequences;
// reads 17 bytes.
inline std::uint32_t kanjiInStarts16(const std::uint8_t* p) {
#if VELMOR_SSE2
    auto splat = [](std::uint8_t b) { return _mm_set1_epi8(static_cast<char>(b)); };
    __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    __m128i lead = _mm_cmpeq_epi8(first, splat(kKanjiIn[0][0]));
    __m128i in = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(second, splat(kKanjiIn[0][1])),
                                           _mm_cmpeq_epi8(second, splat(kKanjiIn[1][1]))),
                              _mm_or_si128(_mm_cmpeq_epi8(second, splat(kKanjiIn[2][1])),
                                           _mm_cmpeq_epi8(second, splat(kKanjiIn[3][1]))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_and_si128(lead, in)));
#else
    std::uint32_t mask = 0;
    for (int i = 0; i < 16; ++i) {
        bool hit = p[i] == kKanjiIn[0][0] && isKanjiInSecond(p[i + 1]);
        mask |= static_cast<std::uint32_t>(hit) << i;
    }
    return mask;
#endif
}

}  // namespace velmor
