#include "convert/kanjicode.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

namespace velmor {
namespace {

using testing::bytes;

KanjiPair sjis(std::uint8_t f, std::uint8_t s) {
    KanjiPair p{f, s};
    sjishenkan(p);
    return p;
}

KanjiPair jis(std::uint8_t f, std::uint8_t s) {
    KanjiPair p{f, s};
    jishenkan(p);
    return p;
}

// The standard JIS X 0208 to Shift_JIS mapping, computed independently.
KanjiPair standardShiftJis(int row, int cell) {
    int j1 = row - 0x20;  // 1..94
    int j2 = cell - 0x20;
    int lead = j1 <= 62 ? (j1 + 0x101) / 2 : (j1 + 0x181) / 2;
    int trail = (j1 % 2 == 1) ? j2 + 0x3F + (j2 >= 64 ? 1 : 0) : j2 + 0x9E;
    return {static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)};
}

TEST(PairArithmetic, IsTheStandardMappingAndItsInverseOnAllJisCodes) {
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            KanjiPair s = sjis(row, cell);
            ASSERT_EQ(s, standardShiftJis(row, cell)) << row << "," << cell;
            ASSERT_EQ(jis(s.first, s.second),
                      (KanjiPair{static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(cell)}));
        }
    }
}

TEST(PairArithmetic, WorkedValuesAndWrapsOutsideTheValidInput) {
    // A pair in, the other code out: Shift-JIS to JIS row and cell (jis), or back (sjis).
    struct Case {
        KanjiPair (*convert)(std::uint8_t, std::uint8_t);
        int first, second;
        KanjiPair expected;
    };
    const Case cases[] = {
        // The worked values, each way.
        {jis, 0x81, 0x40, {0x21, 0x21}},
        {jis, 0x88, 0x9F, {0x30, 0x21}},
        {jis, 0x87, 0x40, {0x2D, 0x21}},
        {jis, 0x98, 0x72, {0x4F, 0x53}},
        {jis, 0x9F, 0xFC, {0x5E, 0x7E}},
        {jis, 0xE0, 0x40, {0x5F, 0x21}},
        {jis, 0xEA, 0xA4, {0x74, 0x26}},
        // Outside the valid input the steps wrap.
        {jis, 0x81, 0x7F, {0x21, 0x60}},
        {jis, 0x81, 0x80, {0x21, 0x60}},
        {sjis, 0x21, 0x60, {0x81, 0x80}},
        {jis, 0x84, 0x20, {0x27, 0x01}},
        {jis, 0x81, 0x3F, {0x21, 0x20}},
        {sjis, 0x00, 0x00, {0x30, 0x7D}},
        {sjis, 0xC1, 0xC2, {0x11, 0xE2}},
        {jis, 0xF0, 0x40, {0x7F, 0x21}},
        {jis, 0xFC, 0xFC, {0x98, 0x7E}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.convert(c.first, c.second), c.expected) << c.first << " " << c.second;
    }
}

TEST(Pieces, CompareAsUnsignedByteStringsWithShorterFirst) {
    const Code2 bound{0x84, 0xBE};
    EXPECT_EQ(comparePiece(bytes({0x84, 0xBE}), bound), 0);
    EXPECT_LT(comparePiece(bytes({0x84}), bound), 0);
    EXPECT_GT(comparePiece(bytes({0x85}), bound), 0);
    EXPECT_GT(comparePiece(bytes({0x84, 0xBF}), bound), 0);
    EXPECT_LT(comparePiece(bytes({0x84, 0x20}), bound), 0);
    EXPECT_FALSE(pieceEquals(bytes({0x93}), kKanjiOut));
}

TEST(Pieces, KanjiInSequences) {
    for (int second : {0x70, 0xF0, 0x74, 0x4C}) EXPECT_TRUE(isKanjiIn(bytes({0x93, second})));
    EXPECT_FALSE(isKanjiIn(bytes({0x93, 0xF1})));
    EXPECT_FALSE(isKanjiIn(bytes({0x93})));
    EXPECT_FALSE(isKanjiIn(bytes({0x92, 0x70})));
}

TEST(Pieces, RangeOfTwoBytePieces) {
    EXPECT_EQ(rangeOf(bytes({0x82, 0x20})), 1);  // no trail byte check
    EXPECT_EQ(rangeOf(bytes({0x81, 0x3F})), 0);
    EXPECT_EQ(rangeOf(bytes({0x84, 0xBE})), 1);
    EXPECT_EQ(rangeOf(bytes({0x84, 0xBF})), 0);
    EXPECT_EQ(rangeOf(bytes({0x98, 0x72})), 2);
    EXPECT_EQ(rangeOf(bytes({0x98, 0x73})), 0);
    EXPECT_EQ(rangeOf(bytes({0x98, 0x9F})), 3);
    EXPECT_EQ(rangeOf(bytes({0xEA, 0xA4})), 4);
    EXPECT_EQ(rangeOf(bytes({0xED, 0x40})), 0);
    EXPECT_EQ(rangeOf(bytes({0xFA, 0x40})), 5);
    EXPECT_EQ(rangeOf(bytes({0x87, 0x9C})), 6);
    EXPECT_EQ(rangeOf(bytes({0x87, 0x9D})), 0);
    EXPECT_EQ(rangeOf(bytes({0xB1, 0x81})), 0);  // half-width katakana
}

TEST(Pieces, RangeOfOneBytePieces) {
    auto single = [](int b) { return rangeOf(bytes({b})); };
    EXPECT_EQ(single(0x84), 1);
    EXPECT_EQ(single(0x81), 0);
    EXPECT_EQ(single(0x87), 0);
    EXPECT_EQ(single(0xF0), 0);
    EXPECT_EQ(single(0xF1), 5);
    EXPECT_EQ(single(0x98), 2);
    EXPECT_EQ(single(0x99), 3);
    EXPECT_EQ(single(0xE0), 0);
    EXPECT_EQ(single(0xEA), 4);
}

}  // namespace
}  // namespace velmor
