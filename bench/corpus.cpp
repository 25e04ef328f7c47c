#include "corpus.h"

#include <array>
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

constexpr std::array<std::string_view, 3> kNames = {"dense", "prose", "records"};

class Generator {
  public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {
        for (const JisBlock& b : kBlocks) totalWeight_ += b.weight;
    }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    void putJis(std::string& out, int row, int cell) {
        KanjiPair pair{static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(cell)};
        sjishenkan(pair);
        out.push_back(static_cast<char>(pair.first));
        out.push_back(static_cast<char>(pair.second));
    }

    void putDoubleByte(std::string& out) {
        int pick = uniform(0, totalWeight_ - 1);
        const JisBlock* block = kBlocks;
        while (pick >= block->weight) pick -= (block++)->weight;
        int row = block->row;
        if (row == 0x30) row = uniform(0x30, 0x4E);
        if (row == 0x50) row = uniform(0x50, 0x73);
        putJis(out, row, uniform(block->firstCell, block->lastCell));
    }

    void putKanji(std::string& out) { putJis(out, uniform(0x30, 0x4E), uniform(0x21, 0x7E)); }
    void putHiragana(std::string& out) { putJis(out, 0x24, uniform(0x21, 0x73)); }

    void putSingleByte(std::string& out) {
        // One in seven is half-width katakana, the rest printable ASCII.
        int b = uniform(0, 6) == 0 ? uniform(0xA1, 0xDF) : uniform(0x20, 0x7E);
        out.push_back(static_cast<char>(b));
    }

    // dense: runs of 1 to 11 double-byte characters (12 bytes on average) alternate
    // with runs of 1 to 15 single bytes (8 on average), so about 60% of the bytes are
    // double-byte. The line starts with either kind.
    void putDenseLine(std::string& out) {
        const int length = uniform(20, 120);
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

    // prose: a run of 2 to 20 characters, kanji and kana mixed as in sentences, then
    // an ASCII word, a number or punctuation, until the line is 20 to 60 bytes long.
    // Lines end by LF or CR LF, as files written on either system do.
    void putProseLine(std::string& out) {
        const std::size_t start = out.size();
        const std::size_t length = static_cast<std::size_t>(uniform(20, 60));
        while (out.size() - start < length) {
            const std::size_t room = (length - (out.size() - start)) / 2;
            const int run = std::min(uniform(2, 20), static_cast<int>(room));
            for (int i = 0; i < run; ++i) {
                int kind = uniform(0, 9);
                if (kind < 5) {
                    putKanji(out);
                } else if (kind < 9) {
                    putHiragana(out);
                } else {
                    putJis(out, 0x21, uniform(0x22, 0x2B));  // 、。，．・：；？！゛
                }
            }
            putProseGap(out, length - std::min(length, out.size() - start));
        }
        out += uniform(0, 1) == 0 ? "\n" : "\r\n";
    }

    // records: one of three fixed layouts, every field padded to its width.
    void putRecord(std::string& out) {
        static constexpr std::array<int, 3> kNameWidth = {20, 24, 32};
        static constexpr std::array<int, 3> kAddressWidth = {40, 60, 80};
        const int layout = uniform(0, 2);
        putDigits(out, 8);  // record number
        out += ' ';
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(uniform('A', 'Z')));
        putDigits(out, 2);
        out += ' ';
        putKanjiField(out, kNameWidth[layout]);
        putKatakanaField(out, kNameWidth[layout] - 4);
        putKanjiField(out, kAddressWidth[layout]);
        putDigits(out, 3);
        out += '-';
        putDigits(out, 4);
        out += ' ';
        putDigits(out, 8);  // a date
        if (layout > 0) {
            out += ' ';
            putDigits(out, 10);  // an amount
        }
        if (layout == 2) out += " TOKYO   A ";
        out += "\r\n";
    }

  private:
    void putDigits(std::string& out, int count) {
        for (int i = 0; i < count; ++i) out.push_back(static_cast<char>(uniform('0', '9')));
    }

    // One to five ASCII words (names, numbers, markup), each followed by a space, in
    // at most `room` bytes; at least a space when there is room for one.
    void putProseGap(std::string& out, std::size_t room) {
        static constexpr std::array<std::string_view, 12> kWords = {
            "OS",  "CPU",  "Linux",      "ID",     "http://", "(1)",
            "<b>", "2026", "config.txt", "printf", "Qt",      "10%"};
        const std::size_t start = out.size();
        for (int n = uniform(1, 5); n > 0; --n) {
            std::string_view word = kWords[static_cast<std::size_t>(uniform(0, 11))];
            if (out.size() - start + word.size() + 1 > room) break;
            out += word;
            out += ' ';
        }
        if (out.size() == start && room > 0) out += ' ';
    }

    // Kanji and kana filling `width` bytes, the rest spaces.
    void putKanjiField(std::string& out, int width) {
        int used = 2 * uniform(width / 6, width / 2 - 1);
        for (int i = 0; i < used; i += 2) uniform(0, 3) == 0 ? putHiragana(out) : putKanji(out);
        out.append(static_cast<std::size_t>(width - used), ' ');
    }

    void putKatakanaField(std::string& out, int width) {
        int used = uniform(width / 3, width - 1);
        for (int i = 0; i < used; ++i) out.push_back(static_cast<char>(uniform(0xA6, 0xDD)));
        out.append(static_cast<std::size_t>(width - used), ' ');
    }

    std::mt19937_64 rng_;
    int totalWeight_ = 0;
};

}  // namespace

std::string_view corpusName(CorpusKind kind) {
    return kNames[static_cast<std::size_t>(kind)];
}

std::optional<CorpusKind> corpusKindNamed(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] == name) return static_cast<CorpusKind>(i);
    }
    return std::nullopt;
}

std::string makeCorpus(CorpusKind kind, std::size_t bytes, std::uint64_t seed) {
    Generator gen(seed);
    std::string text;
    text.reserve(bytes + 256);
    while (text.size() < bytes) {
        switch (kind) {
            case CorpusKind::Dense:
                gen.putDenseLine(text);
                break;
            case CorpusKind::Prose:
                gen.putProseLine(text);
                break;
            case CorpusKind::Records:
                gen.putRecord(text);
                break;
        }
    }
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
