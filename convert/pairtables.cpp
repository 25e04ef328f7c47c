#include "pairtables.h"

#include <string_view>

#include "document/linebreaks.h"
#include "kanjicode.h"

namespace velmor {

const VelmorToSjisTable& velmorToSjisTable() {
    static const VelmorToSjisTable table = [] {
        VelmorToSjisTable t{};
        for (unsigned f = 0; f < 256; ++f) {
            for (unsigned s = 0; s < 256; ++s) {
                KanjiPair pair{static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(s)};
                velmorPairToSjis(pair);
                bool lossy = f != 0x20 && !(isVelmorKanjiByte(static_cast<std::uint8_t>(f)) &&
                                            isVelmorKanjiByte(static_cast<std::uint8_t>(s)));
                t[f << 8 | s] = {
                    {pair.first, pair.second},
                    lossy,
                    velmorStop(static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(s))};
            }
        }
        return t;
    }();
    return table;
}

const SjisToVelmorTable& sjisToVelmorTable() {
    static const SjisToVelmorTable table = [] {
        SjisToVelmorTable t{};
        for (unsigned f = 0; f < 256; ++f) {
            for (unsigned s = 0; s < 256; ++s) {
                const char piece[2] = {static_cast<char>(f), static_cast<char>(s)};
                int range = rangeOf(std::string_view(piece, 2));
                const bool lead = isLeadByte(static_cast<std::uint8_t>(f));
                const bool lossy =
                    range == kUserDefinedRange || (lead && s == 0x20) ||
                    (range == 0 && lead && isTrailByte(static_cast<std::uint8_t>(s)));
                if (range == 0) {
                    t[f << 8 | s] = {{0, 0}, 0, lossy};
                    continue;
                }
                KanjiPair pair{static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(s)};
                sjisPairToVelmor(pair, range == kUserDefinedRange);
                t[f << 8 | s] = {
                    {pair.first, pair.second}, sjisInRange(static_cast<std::uint8_t>(s)), lossy};
            }
        }
        return t;
    }();
    return table;
}

}  // namespace velmor
