#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmor {

// The working pair the converters load, transform in place and emit. There is one
// per process (see ScanState); it keeps its value between pairs, lines and commands,
// so a line that ends after the first byte of a pair reuses the last second byte.
struct KanjiPair {
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    friend bool operator==(const KanjiPair&, const KanjiPair&) = default;
};

// JIS X 0208 row/cell to Shift-JIS lead/trail, in place, modulo 256 for any input.
constexpr void sjishenkan(KanjiPair& pair) {
    std::uint8_t f = pair.first - 0x21;
    std::uint8_t s = pair.second - 0x21;
    s = (f % 2 == 0) ? s + 0x40 : s + 0x9E;
    if (s >= 0x7F) s = s + 1;
    f = (f >> 1) + 0x81;
    if (f >= 0xA0) f = f + 0x40;
    pair = {f, s};
}

// Shift-JIS lead/trail to JIS X 0208 row/cell, in place, modulo 256 for any input.
constexpr void jishenkan(KanjiPair& pair) {
    std::uint8_t f = pair.first;
    std::uint8_t s = pair.second;
    if (f >= 0xE0) f = f - 0x40;
    f = static_cast<std::uint8_t>((f - 0x81) << 1);
    if (s >= 0x80) s = s - 1;
    if (s >= 0x9E) {
        f = f + 1;
        s = s - 0x9E;
    } else {
        s = s - 0x40;
    }
    pair = {static_cast<std::uint8_t>(f + 0x21), static_cast<std::uint8_t>(s + 0x21)};
}

// One pair inside a VELMOR run to its Shift-JIS character, in place: a pair whose
// first byte is a space is the ideographic space, whatever its second byte.
constexpr void velmorPairToSjis(KanjiPair& pair) {
    if (pair.first == 0x20) {
        pair = {0x21, 0x21};
    } else {
        pair.first -= 0x80;
        pair.second -= 0x80;
    }
    sjishenkan(pair);
}

// One Shift-JIS double-byte character to its VELMOR pair, in place. A user-defined
// character is not computed: like the ideographic space it becomes two spaces.
constexpr void sjisPairToVelmor(KanjiPair& pair, bool userDefined) {
    if (userDefined) {
        pair = {0x21, 0x21};
    } else {
        jishenkan(pair);
    }
    if (pair.first == 0x21 && pair.second == 0x21) {
        pair = {0x20, 0x20};
    } else {
        pair.first += 0x80;
        pair.second += 0x80;
    }
}

// A two-byte constant: a shift sequence or a range bound.
using Code2 = std::array<std::uint8_t, 2>;

inline constexpr std::array<Code2, 4> kKanjiIn = {
    {{0x93, 0x70}, {0x93, 0xF0}, {0x93, 0x74}, {0x93, 0x4C}}};
inline constexpr Code2 kKanjiOut = {0x93, 0xF1};
// The kanji-in sequence the conversion to VELMOR writes.
inline constexpr Code2 kKanjiInWritten = kKanjiIn[0];

// True when a 0x93 followed by `b` is a kanji-in sequence.
constexpr bool isKanjiInSecond(std::uint8_t b) {
    return b == kKanjiIn[0][1] || b == kKanjiIn[1][1] || b == kKanjiIn[2][1] || b == kKanjiIn[3][1];
}

struct SjisRange {
    Code2 lower;
    Code2 upper;
};
// Shift-JIS double-byte ranges, in the order they are tested; range numbers are 1-based.
inline constexpr std::array<SjisRange, 6> kSjisRanges = {{
    {{0x81, 0x40}, {0x84, 0xBE}},  // 1: symbols, kana, Greek, Cyrillic, box drawing
    {{0x88, 0x9F}, {0x98, 0x72}},  // 2: level-1 kanji
    {{0x98, 0x9F}, {0x9F, 0xFC}},  // 3: level-2 kanji
    {{0xE0, 0x40}, {0xEA, 0xA4}},  // 4: level-2 kanji
    {{0xF0, 0x40}, {0xFC, 0xFC}},  // 5: user-defined and extension characters
    {{0x87, 0x40}, {0x87, 0x9C}},  // 6: circled numbers and special symbols
}};
inline constexpr int kUserDefinedRange = 5;
// The code page 932 characters inside range 5 that are no user-defined characters:
// the IBM extensions (髙, 﨑, ⅰ and the like), as first byte * 256 + second byte.
inline constexpr std::uint16_t kIbmExtensionFirst = 0xFA40;
inline constexpr std::uint16_t kIbmExtensionLast = 0xFC4B;

// The one or two bytes of `line` starting at 0-based `pos` (pos < line.size()).
constexpr std::string_view pieceAt(std::string_view line, std::size_t pos) {
    return line.substr(pos, 2);
}

// Compares a piece with a two-byte constant as unsigned byte strings, a shorter
// prefix sorting first. Negative, zero or positive.
int comparePiece(std::string_view piece, const Code2& code);

bool pieceEquals(std::string_view piece, const Code2& code);
// True when the piece equals one of the four kanji-in sequences (tested in order).
bool isKanjiIn(std::string_view piece);
// The number (1 to 6) of the first range holding the piece, or 0.
int rangeOf(std::string_view piece);

}  // namespace velmor
