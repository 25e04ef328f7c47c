#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor::bench {

// Shift-JIS Japanese text of `bytes` bytes (the last line may be shorter), the same
// for the same seed: lines of 20 to 120 bytes ended by CR LF, about 60% of the bytes
// in double-byte characters (kana, symbols, circled numbers, level-1 and level-2
// kanji), the rest ASCII and half-width katakana.
std::string makeSjisCorpus(std::size_t bytes, std::uint64_t seed = 20020412);

}  // namespace velmor::bench
