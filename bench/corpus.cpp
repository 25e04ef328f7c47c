#include "corpus.h"

#include <random>

#include "convert/kanjicode.h"
#include "document/codepage932.h"

namespace velmor::bench {

namespace {

// A block of JIS X 0208 cells in one row, and how often a character is drawn from it.
struct JisBlock {
    std::uint8_t row, firstCell, lastCell;
    int weight;
};

// Only assigned characters, so that every peer converter accepts the text. Kanji
// dominate, as in real text; kana come next.
constexpr JisBlock kBlocks[] = {
    {0x21, 0x21, 0x7E, 6},   // punctuation and symbols, the ideographic space first
    {0x23, 0x30, 0x39, 2},   // full-width digits
    {0x24, 0x21, 0x73, 14},  // hiragana
    {0x25, 0x21, 0x76, 8},   // katakana
    {0x2D, 0x21, 0x3E, 1},   // circled numbers and Roman numerals
    {0x30, 0x21, 0x7E, 69},  // level-1 kanji, rows 16 to 46 (row picked below)
    {0x50, 0x21, 0x7E, 8},   // level-2 kanji, rows 48 to 83 (row picked below)
};

class Generator {
  public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {
        for (const JisBlock& b : kBlocks) totalWeight_ += b.weight;
    }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    void putDoubleByte(std::string& out) {
        int pick = uniform(0, totalWeight_ - 1);
        const JisBlock* block = kBlocks;
        while (pick >= block->weight) pick -= (block++)->weight;
        int row = block->row;
        if (row == 0x30) row = uniform(0x30, 0x4E);
        if (row == 0x50) row = uniform(0x50, 0x73);
        KanjiPair pair{static_cast<std::uint8_t>(row),
                       static_cast<std::uint8_t>(uniform(block->firstCell, block->lastCell))};
        sjishenkan(pair);
        out.push_back(static_cast<char>(pair.first));
        out.push_back(static_cast<char>(pair.second));
    }

    void putSingleByte(std::string& out) {
        // One in seven is half-width katakana, the rest printable ASCII.
        int b = uniform(0, 6) == 0 ? uniform(0xA1, 0xDF) : uniform(0x20, 0x7E);
        out.push_back(static_cast<char>(b));
    }

    // One line of `length` bytes: runs of 1 to 11 double-byte characters (12 bytes on
    // average) alternate with runs of 1 to 15 single bytes (8 on average), so about
    // 60% of the bytes are double-byte. The line starts with either kind.
    void putLine(std::string& out, int length) {
        bool doubleRun = uniform(0, 1) == 0;
        int left = length;
        while (left > 0) {
            if (doubleRun) {
                for (int n = uniform(1, 11); n > 0 && left >= 2; --n, left -= 2) putDoubleByte(out);
                if (left == 1) {
                    putSingleByte(out);
                    left = 0;
                }
            } else {
                for (int n = uniform(1, 15); n > 0 && left > 0; --n, --left) putSingleByte(out);
            }
            doubleRun = !doubleRun;
        }
        out += "\r\n";
    }

  private:
    std::mt19937_64 rng_;
    int totalWeight_ = 0;
};

}  // namespace

std::string makeSjisCorpus(std::size_t bytes, std::uint64_t seed) {
    Generator gen(seed);
    std::string text;
    text.reserve(bytes + 128);
    while (text.size() < bytes) gen.putLine(text, gen.uniform(20, 120));
    // Cut the last line short to make the size exact, never inside a character or
    // between the CR and LF of a line end: the byte left over becomes a space.
    if (text.size() > bytes) {
        text.resize(bytes);
        std::size_t lineStart = text.rfind('\n');
        std::size_t i = lineStart == std::string::npos ? 0 : lineStart + 1;
        while (i < text.size()) i += isLeadByte(static_cast<std::uint8_t>(text[i])) ? 2 : 1;
        if (i > text.size() || (!text.empty() && text.back() == '\r')) text.back() = ' ';
    }
    return text;
}

}  // namespace velmor::bench
