#include "conversionrules.h"

namespace velmor {

Ruling ruleOnConversion(Direction direction, const ConversionFacts& facts,
                        const ConversionPolicy& policy) {
    if (facts.noText && !policy.emptyConverts) return {Verdict::Refuse, Refusal::NoText};
    if (facts.doneBefore) return {Verdict::Refuse, Refusal::DoneBefore};
    if (direction == Direction::ToVelmor && facts.holdsKanjiIn.value_or(false) && !policy.force) {
        return {policy.canAsk ? Verdict::Ask : Verdict::Refuse, Refusal::HoldsKanjiIn};
    }
    if (policy.strict && facts.wouldLose.value_or(false)) {
        return {Verdict::Refuse, Refusal::WouldLose};
    }
    return {};
}

std::string_view refusalName(Refusal reason) {
    switch (reason) {
        case Refusal::HoldsKanjiIn:
            return "kanji-in";
        case Refusal::WouldLose:
            return "would-lose";
        case Refusal::NoText:
            return "no-text";
        case Refusal::DoneBefore:
            return "done-before";
        case Refusal::None:
            break;
    }
    return "refused";
}

}  // namespace velmor
