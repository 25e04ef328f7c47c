#include "pairtables.h"

#include <string_view>

#include "kanjicode.h"

namespace velmor {

const VelmorToSjisTable& velmorToSjisTable() {
    static const VelmorToSjisTable table = [] {
        VelmorToSjisTable t{};
        for (unsigned f = 0; f < 256; ++f) {
            for (unsigned s = 0; s < 256; ++s) {
                KanjiPair pair = f == 0x20 ? KanjiPair{0x21, 0x21}
                                           : KanjiPair{static_cast<std::uint8_t>(f - 0x80),
                                                       static_cast<std::uint8_t>(s - 0x80)};
                sjishenkan(pair);
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
                if (range == kUserDefinedRange) {
                    pair = {0x21, 0x21};
                } else {
                    jishenkan(pair);
                }
                pair = pair == KanjiPair{0x21, 0x21}
                           ? KanjiPair{0x20, 0x20}
                           : KanjiPair{static_cast<std::uint8_t>(pair.first + 0x80),
                                       static_cast<std::uint8_t>(pair.second + 0x80)};
                t[f << 8 | s] = {{pair.first, pair.second}, 1, 0};
            }
        }
        return t;
    }();
    return table;
}

}  // namespace velmor
