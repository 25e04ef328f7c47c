#include "document/linebreaks.h"

#include <gtest/gtest.h>

#include "reference/reference.h"
#include "support/bytes.h"

namespace velmor {
namespace {

using testing::bytes;
constexpr int K = 0x81;  // a lead byte

TEST(NormalizeLineBreaks, Examples) {
    EXPECT_EQ(NormalizeLineBreaks("a\nb"), "a\r\nb");
    EXPECT_EQ(NormalizeLineBreaks("a\rb"), "a\r\nb");
    EXPECT_EQ(NormalizeLineBreaks("a\r\r\nb"), "a\r\n\r\nb");
    EXPECT_EQ(NormalizeLineBreaks("a\n\rb"), "a\r\n\r\nb");
    EXPECT_EQ(NormalizeLineBreaks(bytes({K, '\n', 'a'})), bytes({K, '\n', 'a'}));
    EXPECT_EQ(NormalizeLineBreaks(bytes({K, '\r', '\r', '\n'})), bytes({K, '\r', '\r', '\n'}));
    // K CR LF: the CR is K's second byte, so the LF alone is a break.
    EXPECT_EQ(NormalizeLineBreaks(bytes({K, '\r', '\n'})), bytes({K, '\r', '\r', '\n'}));
    // Lead byte pairs: K K is one character, so the LF after it is a break.
    EXPECT_EQ(NormalizeLineBreaks(bytes({K, K, '\n'})), bytes({K, K, '\r', '\n'}));
    // A lead byte before NUL or at the end stands alone; NUL is unchanged.
    EXPECT_EQ(NormalizeLineBreaks(bytes({K, 0, '\n'})), bytes({K, 0, '\r', '\n'}));
    EXPECT_EQ(NormalizeLineBreaks(bytes({'a', K})), bytes({'a', K}));
    EXPECT_EQ(NormalizeLineBreaks(""), "");
}

TEST(NormalizeLineBreaks, FastPathMatchesReferenceOnRandomBytes) {
    auto rng = testing::seededRandom("NormalizeLineBreaks.FastPathMatchesReference");
    const std::string breaky =
        bytes({'a', '\r', '\n', 0, 0x81, 0x9F, 0xE0, 0xFC, 0x80, 0xA0, 0xFD});
    // Every kind of break at every offset around the check's 64-byte blocks.
    for (const std::string& kind :
         {bytes({'\r', '\n'}), bytes({K, '\r', '\n'}), bytes({K, K, '\r', '\n'}), bytes({K, '\n'}),
          bytes({'\n'}), bytes({'\r'}), bytes({K, '\r'})}) {
        for (std::size_t at = 0; at < 140; ++at) {
            const std::string text = std::string(at, 'a') + kind + std::string(70, 'b') + "\r\n";
            ASSERT_EQ(lineBreaksAreNormal(text), normalizeLineBreaksReference(text) == text)
                << testing::hex(text);
        }
    }
    for (int round = 0; round < 20000; ++round) {
        std::size_t length = rng() % (round % 10 == 0 ? 3000 : 40);
        std::string text = testing::randomBytes(rng, length, round % 2 ? breaky : "");
        std::string expected = normalizeLineBreaksReference(text);
        ASSERT_EQ(NormalizeLineBreaks(text), expected) << testing::hex(text);
        ASSERT_EQ(lineBreaksAreNormal(text), expected == text) << testing::hex(text);
        // Random texts are seldom normal: a normal one, and one byte away from it, past
        // the 64 bytes the check takes at a time.
        std::string near = normalizeLineBreaksReference(
            testing::randomBytes(rng, 64 + rng() % 200, round % 2 ? breaky : ""));
        ASSERT_TRUE(lineBreaksAreNormal(near)) << testing::hex(near);
        near[rng() % near.size()] = breaky[rng() % breaky.size()];
        ASSERT_EQ(lineBreaksAreNormal(near), normalizeLineBreaksReference(near) == near)
            << testing::hex(near);
    }
}

TEST(FindLineEnd, FindsTheFirstCrLfPairFromAPosition) {
    const std::string text = "a\nb\r\r\nc\r\n";
    EXPECT_EQ(findLineEnd(text, 0), 4u);
    EXPECT_EQ(findLineEnd(text, 4), 4u);
    EXPECT_EQ(findLineEnd(text, 6), 7u);
    EXPECT_EQ(findLineEnd("abc", 0), 3u);
    EXPECT_EQ(findLineEnd("", 0), 0u);
}

}  // namespace
}  // namespace velmor
