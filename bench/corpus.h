#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::bench {

// The kinds of generated Shift-JIS text, each the same for the same seed.
// dense:   lines of 20 to 120 bytes ended by CR LF, about 60% of the bytes in
//          double-byte characters in runs of 1 to 11, the rest ASCII and half-width
//          katakana.
// prose:   sentences of kanji and kana with ASCII words and punctuation between
//          them, double-byte runs of 2 to 20 characters, lines of 20 to 60 bytes
//          ended by LF or CR LF.
// records: fixed-width business records of 80 to 200 bytes ended by CR LF: digits
//          and codes, names and addresses in kanji, readings in half-width katakana,
//          padded with spaces.
enum class CorpusKind { Dense, Prose, Records };

std::string_view corpusName(CorpusKind kind);
std::optional<CorpusKind> corpusKindNamed(std::string_view name);

// `bytes` bytes of the kind's text (the last line may be shorter).
std::string makeCorpus(CorpusKind kind, std::size_t bytes, std::uint64_t seed = 20020412);

}  // namespace velmor::bench
