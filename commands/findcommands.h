#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/textmatch.h"
#include "document/bytesearch.h"
#include "document/textplace.h"
#include "longstep.h"
#include "workspace.h"

namespace velmor {

// What the user asked the find for: characters (in Shift-JIS bytes, as the window
// encoded what was typed) or bytes written in hex.
struct FindRequest {
    std::string text;
    bool hex = false;
};

// Bytes written in hex: pairs of digits, with or without spaces between them ("93 70",
// "9370"). Nothing for anything else, or for no bytes at all.
std::optional<std::string> parseHexBytes(std::string_view text);

// The forms a request takes in the Document's current code: its bytes for hex; for
// characters, Shift-JIS or VELMOR as the last conversion left the text, both while
// it is as opened (its code is not known). Empty when the hex is not valid.
std::vector<TextQuery> findForms(const Workspace& ws, const FindRequest& request);

// The nearest match of any of `forms`: forward, the first starting at or after `from`;
// backward, the last starting before it. Where there is none, the search goes on from
// the other end of the text and sets `wrapped`.
std::optional<TextMatch> findNearest(const Document& doc, const std::vector<TextQuery>& forms,
                                     std::size_t from, bool forward, bool& wrapped,
                                     Progress* progress = nullptr);

// The same through `runner`, which shows the search's progress when it takes long and
// may cancel it (EAbort).
std::optional<TextMatch> findThrough(const Document& doc, const std::vector<TextQuery>& forms,
                                     std::size_t from, bool forward, bool& wrapped,
                                     const StepRunner& runner);

// The place typed in 行へ移動: "LINE" or "LINE:COLUMN", counted from 1 (the column in
// bytes). Lines and columns past the end go to the last. Nothing when no number was
// given or the Document is empty.
std::optional<TextPlace> parseGoToPlace(std::string_view text, const Document& doc);

}  // namespace velmor
