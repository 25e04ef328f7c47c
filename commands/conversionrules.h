#pragma once

#include <optional>
#include <string_view>

#include "convert/direction.h"

namespace velmor {

// Why a conversion does not go ahead.
enum class Refusal {
    None,
    NoText,        // the text is empty: nothing is open, or the input loaded to nothing
    DoneBefore,    // a conversion in this direction already met what it converts
    HoldsKanjiIn,  // towards VELMOR, the text already holds kanji-in sequences
    WouldLose,     // the conversion would lose something, and that was not wanted
};

// The refusal's name as the JSON report and the Python package give it ("kanji-in").
std::string_view refusalName(Refusal reason);

// What is known of a text about to be converted; a fact not known yet stays unset,
// and its rule is not applied.
struct ConversionFacts {
    bool noText = false;
    bool doneBefore = false;
    std::optional<bool> holdsKanjiIn;  // what the pre-scan found
    std::optional<bool> wouldLose;     // what a first pass over the text found
};

// How whoever converts takes what the rules leave open: the window asks the user;
// the command line answers from its options.
struct ConversionPolicy {
    bool canAsk = false;  // a question is asked (the window) rather than refused
    bool force = false;   // convert Shift-JIS that already holds kanji-in sequences
    bool strict = false;  // refuse a text that would lose something
    // An empty text converts to an empty one instead of being refused: a filter's
    // empty input gives empty output (the command line).
    bool emptyConverts = false;
};

enum class Verdict { Convert, Refuse, Ask };

struct Ruling {
    Verdict verdict = Verdict::Convert;
    Refusal reason = Refusal::None;
};

// The one definition of what a conversion refuses or asks, for the window's commands
// and velmor-convert alike, in the order the window tells them: an empty text, a
// second conversion in the same direction, kanji-in sequences towards VELMOR (a
// question: convert anyway?), then a loss that `strict` refuses.
Ruling ruleOnConversion(Direction direction, const ConversionFacts& facts,
                        const ConversionPolicy& policy);

}  // namespace velmor
