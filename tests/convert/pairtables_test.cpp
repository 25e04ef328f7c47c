#include "convert/pairtables.h"

#include <gtest/gtest.h>

#include "convert/kanjicode.h"

namespace velmor {
namespace {

// Every one of the 65,536 entries against the plain steps.

TEST(PairTables, VelmorToSjisEqualsTheArithmeticOnEveryPair) {
    const VelmorToSjisTable& table = velmorToSjisTable();
    for (unsigned f = 0; f < 256; ++f) {
        for (unsigned s = 0; s < 256; ++s) {
            KanjiPair pair{static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(s)};
            velmorPairToSjis(pair);
            const SjisOut& entry = table[f << 8 | s];
            ASSERT_EQ(entry.bytes[0], pair.first) << f << " " << s;
            ASSERT_EQ(entry.bytes[1], pair.second) << f << " " << s;
        }
    }
}

TEST(PairTables, SjisToVelmorEqualsRangeTestAndArithmeticOnEveryPair) {
    const SjisToVelmorTable& table = sjisToVelmorTable();
    int inRange = 0;
    for (unsigned f = 0; f < 256; ++f) {
        for (unsigned s = 0; s < 256; ++s) {
            const char piece[2] = {static_cast<char>(f), static_cast<char>(s)};
            int range = rangeOf(std::string_view(piece, 2));
            const VelmorOut& entry = table[f << 8 | s];
            ASSERT_EQ(entry.inRange != 0, range != 0) << f << " " << s;
            if (range == 0) continue;
            ++inRange;
            KanjiPair pair{static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(s)};
            sjisPairToVelmor(pair, range == kUserDefinedRange);
            ASSERT_EQ(entry.bytes[0], pair.first) << f << " " << s;
            ASSERT_EQ(entry.bytes[1], pair.second) << f << " " << s;
        }
    }
    // The pieces inside the bounds of ranges 1 to 6, counted by hand:
    // 895 + 4052 + 1886 + 2661 + 3261 + 93.
    EXPECT_EQ(inRange, 12848);
}

}  // namespace
}  // namespace velmor
