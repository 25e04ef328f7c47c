#include "pairtables.h"

#include <string_view>

#include "kanjicode.h"

namespace velmor {

const VelmorToSjisTable& velmorToSjisTable() {
    static const VelmorToSjisTable table = [] {
        VelmorToSjisTable t{};
        for (unsigned f = 0; f < 256; ++f) {
            for (unsigned s = 0; s < 256; ++s) {
                KanjiPair pair{static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(s)};
                velmorPairToSjis(pair);
                t[f << 8 | s] = {{pair.first, pair.second}};
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
                if (range == 0) continue;
                KanjiPair pair{static_cast<std::uint8_t>(f), static_cast<std::uint8_t>(s)};
                sjisPairToVelmor(pair, range == kUserDefinedRange);
                t[f << 8 | s] = {{pair.first, pair.second}, 1, 0};
            }
        }
        return t;
    }();
    return table;
}

}  // namespace velmor
