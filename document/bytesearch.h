#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "document.h"
#include "progress.h"

namespace velmor {

// A match in the Document's text: its offset and byte length.
struct TextMatch {
    std::size_t offset = 0;
    std::size_t length = 0;
    friend bool operator==(const TextMatch&, const TextMatch&) = default;
};

// Says whether `anchor`, found at `offset` of the text, starts a match, and how long
// that match is (0: none). A search for bytes takes every place; a search for
// characters looks where the characters begin.
using MatchCheck = std::function<std::size_t(std::size_t offset)>;

// Searches the text for `anchor` a window of kSearchWindow bytes at a time, reading it
// through Document::TextChunk, so a match across a window's edge or a line end is found
// like any other. Forward: the first match starting in [from, to). Backward: the last
// match starting in [to, from). `progress` is told each window's bytes and may stop the
// search (EAbort).
inline constexpr std::size_t kSearchWindow = 64 << 10;
std::optional<TextMatch> searchForward(const Document& doc, std::string_view anchor,
                                       std::size_t from, std::size_t to, const MatchCheck& check,
                                       Progress* progress = nullptr);
std::optional<TextMatch> searchBackward(const Document& doc, std::string_view anchor,
                                        std::size_t from, std::size_t to, const MatchCheck& check,
                                        Progress* progress = nullptr);

// The first place of `anchor` in `bytes` at or after `from`, or npos.
std::size_t findBytes(std::string_view bytes, std::string_view anchor, std::size_t from = 0);

// `length` bytes of the text from `offset` (fewer at its end), in one view: the bytes
// as the Document holds them where they lie together, else copied into `scratch`.
std::string_view textBytes(const Document& doc, std::size_t offset, std::size_t length,
                           std::string& scratch);

}  // namespace velmor
