#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::testing {

// A byte string from byte values: bytes({0x93, 0x70}).
inline std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(static_cast<std::uint8_t>(v)));
    return s;
}

// Hex dump for failure messages.
inline std::string hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

// The random generator of the randomised tests: a fixed seed, printed so that a
// failing run can be repeated.
inline std::mt19937_64 seededRandom(const char* test, std::uint64_t seed = 20021204) {
    std::printf("[%s] random seed %llu\n", test, static_cast<unsigned long long>(seed));
    return std::mt19937_64(seed);
}

// Random bytes drawn from `alphabet` (all 256 values when empty), `length` long.
inline std::string randomBytes(std::mt19937_64& rng, std::size_t length,
                               const std::string& alphabet = "") {
    std::string s(length, '\0');
    for (auto& c : s) {
        if (alphabet.empty()) {
            c = static_cast<char>(rng() & 0xFF);
        } else {
            c = alphabet[rng() % alphabet.size()];
        }
    }
    return s;
}

// Text shaped like real files: `pieces` drawn at random and repeated (two-byte pieces
// up to 12 times, others up to 3), cut to `length`. A `rare` piece is taken only one
// time in four it is drawn.
inline std::string textFromPieces(std::mt19937_64& rng, std::size_t length,
                                  const std::vector<std::string>& pieces,
                                  std::string_view rare = {}) {
    std::string text;
    while (text.size() < length) {
        const std::string& piece = pieces[rng() % pieces.size()];
        if (!rare.empty() && piece == rare && rng() % 4 != 0) continue;
        int repeat = 1 + static_cast<int>(rng() % (piece.size() == 2 ? 12 : 3));
        for (int i = 0; i < repeat; ++i) text += piece;
    }
    text.resize(length);
    return text;
}

// Text shaped like real files, long enough for the sixteen-byte steps when asked: runs
// of ASCII, kana, kanji, shift sequences, odd lead bytes, NUL, LF and CR LF ends and
// lone CRs, in lines of every length. With `endMarks`, now and then a Ctrl-Z, which
// ends a file where a line begins.
inline std::string realisticText(std::mt19937_64& rng, std::size_t length, bool endMarks = false) {
    using namespace std::string_literals;
    static const std::vector<std::string> pieces = [] {
        // The pieces, one after the other, each ended by '|'.
        const std::string all =
            "abc de|0123456789ABCDEF!| |\r\n|\r\n|\n|\r|\x88\x9F|\x82\xA0|\x81\x40|\xF0\x40|"
            "\x93\x70|\x93\xF0|\x93\xF1|\xB0\xA1|  |\xB1|\x84|\x98|\x80|\0|\x81\r|\x93\r\n|"
            "\xEA\xA4\xE0\x40\x87\x9C|"s;
        std::vector<std::string> split;
        for (std::size_t at = 0, end; (end = all.find('|', at)) != std::string::npos;
             at = end + 1) {
            split.push_back(all.substr(at, end - at));
        }
        return split;
    }();
    if (!endMarks) return textFromPieces(rng, length, pieces);
    std::vector<std::string> withMarks = pieces;
    withMarks.push_back(bytes({0x1A}));
    return textFromPieces(rng, length, withMarks, bytes({0x1A}));
}

}  // namespace velmor::testing
